#include "gui/WidgetMessageBox.h"

#include "gui/WindowPlacement.h"

#include <QMessageBox>
#include <QPointer>

namespace fiscora {

namespace {

QMessageBox::Icon toIcon(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Critical:
        return QMessageBox::Critical;
    case MessageIcon::Question:
        return QMessageBox::Question;
    case MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons toButtons(MessageButtons buttons) {
    switch (buttons) {
    case MessageButtons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case MessageButtons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case MessageButtons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case MessageButtons::RetryCancel:
        return QMessageBox::Retry | QMessageBox::Cancel;
    case MessageButtons::AbortRetryIgnore:
        return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
    case MessageButtons::Ok:
        break;
    }
    return QMessageBox::Ok;
}

QMessageBox::StandardButton toButton(MessageAnswer answer) {
    switch (answer) {
    case MessageAnswer::Cancel:
        return QMessageBox::Cancel;
    case MessageAnswer::Yes:
        return QMessageBox::Yes;
    case MessageAnswer::No:
        return QMessageBox::No;
    case MessageAnswer::Retry:
        return QMessageBox::Retry;
    case MessageAnswer::Abort:
        return QMessageBox::Abort;
    case MessageAnswer::Ignore:
        return QMessageBox::Ignore;
    case MessageAnswer::Ok:
        break;
    }
    return QMessageBox::Ok;
}

MessageAnswer toAnswer(int button) {
    switch (button) {
    case QMessageBox::Cancel:
        return MessageAnswer::Cancel;
    case QMessageBox::Yes:
        return MessageAnswer::Yes;
    case QMessageBox::No:
        return MessageAnswer::No;
    case QMessageBox::Retry:
        return MessageAnswer::Retry;
    case QMessageBox::Abort:
        return MessageAnswer::Abort;
    case QMessageBox::Ignore:
        return MessageAnswer::Ignore;
    default:
        return MessageAnswer::Ok;
    }
}

} // namespace

MessageAnswer WidgetMessageBox::ask(const MessageRequest& request) {
    // Centred on the window it speaks for, also when that window has just closed and the one
    // below it is not active yet.
    const QPointer<QMessageBox> box = new QMessageBox(toIcon(request.icon), request.title, request.text,
                                                      toButtons(request.buttons), ownerWindow());
    if (request.selectable)
        box->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    if (request.defaultAnswer)
        box->setDefaultButton(toButton(*request.defaultAnswer));
    const int button = box->exec();
    // Gone with its owner, the box was not answered.
    if (!box)
        return toAnswer(QMessageBox::Cancel);
    delete box;
    return toAnswer(button);
}

} // namespace fiscora
