#pragma once

#include "core/Result.h"

#include <QString>
#include <QStringList>

namespace fiscora {

// The folder that holds every file the program keeps: "--pasta DIR" or FISCORA_PASTA when given;
// otherwise the executable's folder when it holds the program's files (a build folder), or, for
// an installed program whose folder is read-only, a folder of the user's own, filled from the
// installed defaults.
class ProgramFolder {
public:
    // Fixes the folder at program entry from the arguments, the environment and the executable.
    // Fails only when the user's folder cannot be made or filled.
    static Status initialize(const QStringList& arguments);
    static void set(const QString& folder);
    static QString path();
    // folder + separator + name
    static QString file(const QString& name);
    // The settings path, fixed at entry: folder + separator + "fiscora.ini".
    static QString settingsPath();

    // The installed defaults (share/fiscora beside the executable's bin), or the empty text when
    // the program runs from a folder of its own (the build folder, a copied folder).
    static QString installedDefaults();
    // A helper program of ours: beside the executable, else in the installed helpers' folder.
    static QString helperProgram(const QString& name);
    // The folder of the running executable, whatever folder the program works in.
    static QString executableFolder();
    // Stands another folder in for the executable's (tests); the empty text restores it.
    static void setExecutableFolder(const QString& folder);

    // Brings a user's program folder up to date with the defaults: the user's files (settings,
    // local database) are copied only when missing; the program's own (the package template, the
    // version stamp) are replaced whenever the installed copy differs.
    static Status fillFromDefaults(const QString& defaults, const QString& folder);
};

} // namespace fiscora
