#pragma once

#include <QString>

class QWidget;

namespace fiscora {

class ModalGate;

// The file dialogs. Tests have one that answers with a path or cancels (empty text).
class FileChooser {
public:
    enum class Mode {
        Open,   // an existing file
        Save,   // a file to write; the dialog asks before replacing one
        Folder, // an existing folder
    };

    // A dialog up holds back the outcomes of `gate`.
    explicit FileChooser(ModalGate& gate)
        : m_gate(gate) {}
    virtual ~FileChooser() = default;
    FileChooser(const FileChooser&) = delete;
    FileChooser& operator=(const FileChooser&) = delete;

    // defaultSuffix (without the dot) is added to a name typed without one.
    QString openFile(QWidget* parent, const QString& caption, const QString& directory, const QString& filter,
                     const QString& defaultSuffix = QString());
    // `proposed`: the folder and name the dialog starts with.
    QString saveFile(QWidget* parent, const QString& caption, const QString& proposed, const QString& filter,
                     const QString& defaultSuffix = QString());
    QString chooseFolder(QWidget* parent, const QString& caption, const QString& directory);

protected:
    virtual QString choose(Mode mode, QWidget* parent, const QString& caption, const QString& directory,
                           const QString& filter, const QString& defaultSuffix) = 0;

private:
    QString ask(Mode mode, QWidget* parent, const QString& caption, const QString& directory,
                const QString& filter, const QString& defaultSuffix);

    ModalGate& m_gate;
};

// Where there is no window system there is nobody to ask: every choice is cancelled.
class NoFileChooser final : public FileChooser {
public:
    using FileChooser::FileChooser;

protected:
    QString choose(Mode, QWidget*, const QString&, const QString&, const QString&, const QString&) override {
        return {};
    }
};

} // namespace fiscora
