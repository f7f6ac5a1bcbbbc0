// Opening a pair of pictures for korvanith-cli, and the refusal of one that
// does not fit.
#include "Common.h"

#include <fcntl.h>
#include <unistd.h>

#include "Sides.h"

namespace cli {
namespace {

// Decoders such as libpng write their own complaints straight to standard
// error; while pictures load, those go nowhere, since the refusal that
// follows says what is wrong in one line.
class SilencedStderr {
public:
    SilencedStderr() : saved(dup(STDERR_FILENO))
    {
        const int null = open("/dev/null", O_WRONLY);
        if (saved >= 0 && null >= 0)
            dup2(null, STDERR_FILENO);
        if (null >= 0)
            close(null);
    }
    ~SilencedStderr()
    {
        if (saved >= 0) {
            dup2(saved, STDERR_FILENO);
            close(saved);
        }
    }
    SilencedStderr(const SilencedStderr&) = delete;
    SilencedStderr& operator=(const SilencedStderr&) = delete;

private:
    int saved;
};

}  // namespace

void OpenPair(Pair& pair, const std::string& left, const std::string& right)
{
    SilencedStderr quiet;
    OpenSide(&pair.left, &pair.leftResult, left);
    OpenSide(&pair.right, &pair.rightResult, right);
}

std::string CropRemedy(const TCropSize& size)
{
    return " Add --crop to cut both to their centre " + size.Text() + ".";
}

void CheckPairFitsHere(const Pair& pair)
{
    try {
        CheckPairFits(&pair.left, &pair.right);
    } catch (const EMisfitPair& misfit) {
        if (!misfit.Crop)
            throw;
        throw Exception(misfit.Sizes + CropRemedy(*misfit.Crop));
    }
}

}  // namespace cli
