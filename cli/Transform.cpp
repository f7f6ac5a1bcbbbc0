// korvanith-cli's main command: two pictures in, the window's two results out.
#include "Transform.h"

#include <vector>

#include "Common.h"
#include "Sides.h"
#include "phase/Command.h"
#include "platform/SaveFiles.h"

namespace cli {

int Transform(const TransformOptions& options)
{
    for (const std::string& out : {options.leftResult, options.rightResult})
        TSaveGroup::CheckPictureName(out);
    if (SameFile(options.leftResult, options.rightResult))
        throw Exception("LEFT_RESULT and RIGHT_RESULT must be different files");

    Pair pair;
    OpenPair(pair, options.left, options.right);
    if (options.crop)
        CropBoth(&pair.left, &pair.leftResult, &pair.right, &pair.rightResult);
    CheckPairFitsHere(pair);
    const int W = pair.left.GetWidth(), H = pair.left.GetHeight();
    phase::CheckCommandMemory(W, H);
    const std::size_t N = std::size_t(W) * std::size_t(H);
    std::vector<PackedColour> left(N), right(N);
    pair.left.CopyPixels(left.data());
    pair.right.CopyPixels(right.data());
    std::vector<std::uint8_t> leftLevels(N), rightLevels(N);
    phase::RunCommand(left.data(), right.data(), W, H,
                      options.mode == 0 ? phase::Mode::Normal : phase::Mode::Swap,
                      leftLevels.data(), rightLevels.data());

    TSaveGroup results;
    results.AddPixels(options.leftResult, W, H, 1, leftLevels.data());
    results.AddPixels(options.rightResult, W, H, 1, rightLevels.data());
    results.Commit();
    return 0;
}

}  // namespace cli
