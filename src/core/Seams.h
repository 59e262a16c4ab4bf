#pragma once

#include "core/Clock.h"
#include "core/FileChooser.h"
#include "core/MessageBox.h"
#include "core/ModalGate.h"
#include "core/Platform.h"
#include "core/ProgramFolder.h"

namespace fiscora {

// The program's contact with the user and the system, built once where the program starts (the
// windows' widget implementations, or the command line's) and handed down; tests build their own.
// Not owned: whoever builds the seams keeps their parts while they are used.
struct Seams {
    const Clock& clock;
    Platform& platform;
    FileChooser& files;
    MessageBox& messages;
    const ProgramFolder& folder; // the folder of the program's files
    // What the boxes above hold back while they are up; the jobs deliver their outcomes through it.
    ModalGate& gate;
};

} // namespace fiscora
