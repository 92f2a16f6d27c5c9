#pragma once

#include "panel/delayscheduler.h"
#include "panel/historymodel.h"
#include "panel/paster.h"
#include "platform/fake/fakeinputdevicestate.h"
#include "platform/fake/fakekeystrokeposter.h"
#include "platform/fake/fakepasteboard.h"
#include "preferences/preferences.h"
#include "store/clipstore.h"
#include "ui/panelcontent.h"

#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>

#include <memory>

namespace corvane::test {

// The panel's views in a window of their own over a real store in a temporary folder, with
// the clipboard and the paste keystroke faked. Used by the view tests and the screenshot
// program.
class PanelFixture
{
public:
    explicit PanelFixture(QSize size = QSize(900, 300));
    ~PanelFixture();

    // Items captured `minutesAgo` minutes before now.
    ClipItem addText(const QString &text, int minutesAgo, const QString &appID = {},
        const QString &appName = {});
    ClipItem addLink(const QString &url, const QString &title, int minutesAgo);
    ClipItem addImage(QSize size, QColor from, QColor to, int minutesAgo);
    ClipItem addFile(const QString &path, std::int64_t bytes, int minutesAgo);
    ClipItem addColor(const QString &text, int minutesAgo);
    std::int64_t addPinboard(const QString &name, int colorIndex);
    void file(const ClipItem &item, std::int64_t pinboardID);
    // A history with every kind, two pinboards and snippets with triggers.
    void fillRealisticHistory();

    // Shows and activates the window and lets the views settle (layout, images decoded);
    // false when the window never became active.
    bool show();
    void settle(int milliseconds = 150);
    // The item of that name in the window, or under root when given.
    QQuickItem *find(const QString &objectName, QQuickItem *root = nullptr) const;
    // Types text into the window key by key (a line feed as Return).
    void type(const QString &text);
    QImage grab();

    QTemporaryDir folder;
    std::unique_ptr<ClipStore> store;
    std::unique_ptr<Preferences> preferences;
    FakePasteboard pasteboard;
    FakeKeystrokePoster keystrokes;
    QtDelayScheduler scheduler;
    FakeInputState input;
    std::unique_ptr<Paster> paster;
    std::unique_ptr<HistoryModel> model;
    int dismissCount = 0;
    std::unique_ptr<QQuickWindow> window;
    std::unique_ptr<QQmlEngine> engine;
    std::unique_ptr<PanelContent> content;
    QQuickItem *view = nullptr;

private:
    ClipItem record(ClipCandidate candidate, int minutesAgo);
};

} // namespace corvane::test
