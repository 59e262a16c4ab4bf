#pragma once

#include "core/ProgramFolder.h"
#include "core/Seams.h"

#include <QWidget>

namespace fiscora {

// The user guide in a window of its own, its pictures beside it.
class Ajuda final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Ajuda)

public:
    // The guide's Markdown text, and the folder its pictures are named from.
    Ajuda(const QString& markdown, const QString& folder, QWidget* parent = nullptr);

    // Brings the open help window to the front, or opens one; when the guide cannot be found or
    // read, says so in a message box instead.
    static void open(const Seams& seams);
    // The installed guide (share/doc/fiscora beside the executable's bin), else the source
    // tree's; the empty text when neither exists.
    static QString guidePath(const ProgramFolder& folder);
};

} // namespace fiscora
