#pragma once
#include <QCoreApplication>

#include <memory>

namespace ConfluxCli
{
/// The Qt application a command runs in: a plain core application, or, when the command draws
/// plots, a GUI application on the offscreen platform (no display needed) that keeps Qt's warning
/// about a missing runtime folder off the terminal.
std::unique_ptr<QCoreApplication> makeCommandApplication(bool drawsPlots);
} // namespace ConfluxCli
