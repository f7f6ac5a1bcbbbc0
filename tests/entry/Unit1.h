// A stand-in for the main window, so that the entry routine can be run with a
// window that fails to build, or that closes at once.
#pragma once

#include "platform/Forms.h"

class TKorvanith : public TForm {
public:
    explicit TKorvanith(TComponent* Owner);
};

extern TKorvanith* Korvanith;
