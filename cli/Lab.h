// korvanith-cli lab: the phase lab's pictures and resemblance table as files.
#pragma once

#include <string>
#include <vector>

#include "lab/PhaseLab.h"

namespace cli {

struct LabOptions {
    bool crop = false;
    double mix = 0.5;
    std::string left, right, folder;
};

// A picture the lab command writes: the file name and the tile it holds.
struct LabPicture {
    std::string name;  // "left-magnitude.png"
    lab::Side side;
    lab::Tile tile;
};

// Each side's five tiles, left first.
std::vector<LabPicture> LabPictures();

// The files the lab command writes into its folder: LabPictures', then the
// table's.
std::vector<std::string> LabFileNames();

// Writes every file into the folder (made when missing), or nothing; raises
// an Exception that says why not.
int Lab(const LabOptions& options);

}  // namespace cli
