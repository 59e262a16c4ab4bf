#pragma once

#include <QString>
#include <QStringList>

namespace fiscora {

// The folder that holds every file the program keeps: the executable's folder, unless
// "--pasta DIR" or FISCORA_PASTA names another.
class ProgramFolder {
public:
    // Fixes the folder at program entry from the arguments, the environment and the executable.
    static void initialize(const QStringList& arguments);
    static void set(const QString& folder);
    static QString path();
    // folder + separator + name
    static QString file(const QString& name);
    // The settings path, fixed at entry: folder + separator + "fiscora.ini".
    static QString settingsPath();
};

} // namespace fiscora
