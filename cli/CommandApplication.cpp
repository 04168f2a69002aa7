#include "cli/CommandApplication.h"

#include <QApplication>

#include <iostream>

namespace ConfluxCli
{
namespace
{
// Offscreen rendering looks for a runtime folder that a command line session often lacks; Qt then
// uses one of its own, so the warning it prints on every run tells the user nothing.
QtMessageHandler previousHandler = nullptr;
void quietRuntimeDirWarning(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    if (previousHandler)
        previousHandler(type, context, message);
    else
        std::cerr << message.toStdString() << "\n";
}

// QCoreApplication keeps references to argc and argv for its whole life.
int argumentCount = 1;
char programName[] = "confluxtool";
char* arguments[] = {programName, nullptr};
} // namespace

std::unique_ptr<QCoreApplication> makeCommandApplication(bool drawsPlots)
{
    if (!drawsPlots)
        return std::make_unique<QCoreApplication>(argumentCount, arguments);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (const QtMessageHandler previous = qInstallMessageHandler(quietRuntimeDirWarning);
        previous != quietRuntimeDirWarning)
        previousHandler = previous;
    return std::make_unique<QApplication>(argumentCount, arguments);
}
} // namespace ConfluxCli
