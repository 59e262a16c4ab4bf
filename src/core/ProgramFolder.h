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
    // The given folder (made absolute), with the helpers and defaults found beside the given
    // executable folder: the running executable's when it is empty.
    explicit ProgramFolder(const QString& folder, const QString& executableFolder = {});

    // Fixes the folder at program entry from the arguments, the environment and the executable.
    // Fails only when the user's folder cannot be made or filled.
    static Result<ProgramFolder> initialize(const QStringList& arguments);
    QString path() const { return m_path; }
    // folder + separator + name
    QString file(const QString& name) const;
    // folder + separator + "fiscora.ini".
    QString settingsPath() const;

    // The installed defaults (share/fiscora beside the executable's bin), or the empty text when
    // the program runs from a folder of its own (the build folder, a copied folder).
    QString installedDefaults() const;
    // A helper program of ours: beside the executable, else in the installed helpers' folder.
    QString helperProgram(const QString& name) const;
    // The folder of the executable, whatever folder the program works in.
    QString executableFolder() const { return m_executableFolder; }

    // Brings a user's program folder up to date with the defaults: the user's files (settings,
    // local database) are copied only when missing; the program's own (the package template, the
    // version stamp) are replaced whenever the installed copy differs.
    static Status fillFromDefaults(const QString& defaults, const QString& folder);

private:
    QString m_path;
    QString m_executableFolder;
};

} // namespace fiscora
