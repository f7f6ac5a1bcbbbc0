// Korvanith: shows what the phase of a picture's Fourier spectrum carries.
#include "Unit1.h"

int main(int, char**)
{
    try {
        Application->Initialize();
        Application->CreateForm(&Korvanith);
        Application->Run();
    } catch (Exception& exception) {
        Application->ShowException(&exception);
    } catch (...) {
        try {
            throw Exception("");
        } catch (Exception& exception) {
            Application->ShowException(&exception);
        }
    }
    return 0;
}
