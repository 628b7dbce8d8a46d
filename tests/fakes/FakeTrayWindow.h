#pragma once

#include "TrayController.h"

#include <QStringList>

/// The main window as the tray logic sees it, for tests: state in plain fields,
/// every call journalled ("win:normal+layout", "win:minimized", "win:hide",
/// "win:show", "win:topmost", "win:notopmost", "win:closeZoom"). Minimising
/// hands over to the controller, as the real window's resize handling does.
class FakeTrayWindow : public TrayWindowPort
{
public:
    QStringList* journal = nullptr;
    TrayController* controller = nullptr;
    bool visible = true;
    bool minimized = false;
    bool topmost = false;
    QList<int> alphas;

    void setNormalState() override
    {
        minimized = false;
        note("normal+layout");
    }
    void setMinimizedState() override
    {
        minimized = true;
        note("minimized");
        if (controller)
            controller->minimizeToTray();
    }
    void hideWindow() override
    {
        visible = false;
        note("hide");
    }
    void showWindow() override
    {
        visible = true;
        note("show");
    }
    void setTopmost(bool onTop) override
    {
        topmost = onTop;
        note(onTop ? "topmost" : "notopmost");
    }
    void setTransparency(int alpha) override { alphas.append(alpha); }
    void closeZoomWindow() override { note("closeZoom"); }

private:
    void note(const char* text)
    {
        if (journal)
            journal->append(QStringLiteral("win:") + QLatin1String(text));
    }
};
