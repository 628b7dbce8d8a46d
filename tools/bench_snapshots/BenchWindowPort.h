#pragma once

#include "CallWindowPort.h"

#include <QTimer>

/// The window side of door calls for the benchmark: a shown window that is
/// never in the tray. No station sends "CALL" during a run, so nothing here is
/// expected to be called; fadeBackToTray still keeps its contract.
class BenchWindowPort : public CallWindowPort
{
public:
    bool isMinimized() const override { return false; }
    bool isInTray() const override { return false; }
    bool isRestoredForCall() const override { return false; }
    void bringBackForCall() override {}
    void setTopmost(bool) override {}
    void fadeBackToTray(std::function<void()> after) override { QTimer::singleShot(0, std::move(after)); }
};
