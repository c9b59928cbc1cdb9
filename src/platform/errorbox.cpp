#include "errorbox.h"

#include "dialogs.h"

#include "text/errors.h"

#include <QCoreApplication>

void showErrorBox(Dialogs& dialogs, const QString& message) {
    dialogs.messageBox(QCoreApplication::applicationName(), errorBoxText(message),
                       Dialogs::Icon::Error, Dialogs::Ok);
}

bool runCommand(Dialogs& dialogs, const std::function<void()>& command) {
    try {
        command();
        return true;
    } catch (const MMEditError& e) {
        showErrorBox(dialogs, e.message());
    } catch (const std::bad_alloc&) {
        showErrorBox(dialogs, QStringLiteral("メモリが不足しています"));
    } catch (const std::exception& e) {
        showErrorBox(dialogs, QString::fromLocal8Bit(e.what()));
    }
    return false;
}
