#pragma once

#include "panel/cliplistmodel.h"
#include "panel/dragitemprovider.h"
#include "panel/historysearch.h"
#include "panel/pinboardlistmodel.h"
#include "platform/workspace.h"
#include "store/clipitem.h"
#include "store/errordescription.h"
#include "store/pinboard.h"

#include <QObject>
#include <QString>
#include <QVariant>

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <set>
#include <vector>

namespace corvane {

class ClipStore;
class DelayScheduler;
class InputDeviceState;
class Paster;
class Preferences;

// The message shown under one card after the store refused to file it.
struct CardRefusal
{
    std::int64_t itemID = 0;
    QString message;

    bool operator==(const CardRefusal &) const = default;
};

// Everything the history panel shows and the user has chosen there, with the actions that
// act on it: pasting, filing, pinboards, snippets and dragging cards. One instance lives as
// long as the application, on the main thread. Every field notifies its own signal when an
// assignment changes it (never when the value is equal); changes made in place (filter
// sets, counters) always notify.
class HistoryModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(corvane::ClipListModel *items READ itemsModel CONSTANT)
    Q_PROPERTY(corvane::PinboardListModel *pinboards READ pinboardsModel CONSTANT)
    Q_PROPERTY(QVariant selectedPinboardID READ selectedPinboardIDValue WRITE
            setSelectedPinboardIDValue NOTIFY selectedPinboardIDChanged)
    Q_PROPERTY(QString search READ search WRITE setSearch NOTIFY searchChanged)
    Q_PROPERTY(QStringList activeKinds READ activeKindNames NOTIFY activeKindsChanged)
    Q_PROPERTY(QStringList activeSourceBundleIDs READ activeSourceBundleIDList NOTIFY
            activeSourceBundleIDsChanged)
    Q_PROPERTY(bool hasActiveFilters READ hasActiveFilters NOTIFY hasActiveFiltersChanged)
    Q_PROPERTY(QVariantList sourceApps READ sourceAppList NOTIFY sourceAppsChanged)
    Q_PROPERTY(
        int selectedIndex READ selectedIndex WRITE setSelectedIndex NOTIFY selectedIndexChanged)
    Q_PROPERTY(int anchorIndex READ anchorIndex NOTIFY anchorIndexChanged)
    Q_PROPERTY(QVariantList markedIDs READ markedIDList NOTIFY markedIDsChanged)
    Q_PROPERTY(QVariant pasteTarget READ pasteTargetValue NOTIFY pasteTargetChanged)
    Q_PROPERTY(bool isDraggingItem READ isDraggingItem NOTIFY isDraggingItemChanged)
    Q_PROPERTY(bool isDragPollRunning READ isDragPollRunning NOTIFY dragPollTimerChanged)
    Q_PROPERTY(int presentationCount READ presentationCount NOTIFY presentationCountChanged)
    Q_PROPERTY(QVariant snippetError READ snippetErrorValue NOTIFY snippetErrorChanged)
    Q_PROPERTY(QVariant actionError READ actionErrorValue NOTIFY actionErrorChanged)
    Q_PROPERTY(QVariant cardRefusal READ cardRefusalValue NOTIFY cardRefusalChanged)
    Q_PROPERTY(int actionErrorToken READ actionErrorToken NOTIFY actionErrorTokenChanged)
    Q_PROPERTY(int cardRefusalToken READ cardRefusalToken NOTIFY cardRefusalTokenChanged)
    Q_PROPERTY(QVariant departingItemID READ departingItemIDValue NOTIFY departingItemIDChanged)
    Q_PROPERTY(QVariant recentlyFiledPinboardID READ recentlyFiledPinboardIDValue NOTIFY
            recentlyFiledPinboardIDChanged)
    Q_PROPERTY(QVariantList draggedItemIDs READ draggedItemIDList NOTIFY draggedItemIDsChanged)
    Q_PROPERTY(QVariant draggedPrimaryID READ draggedPrimaryIDValue NOTIFY draggedPrimaryIDChanged)
    Q_PROPERTY(bool expandsSnippets READ expandsSnippets NOTIFY expandsSnippetsChanged)
    Q_PROPERTY(QString expansionPrefix READ expansionPrefix NOTIFY expansionPrefixChanged)

public:
    using ItemID = std::int64_t;
    using PinboardID = std::int64_t;

    static constexpr std::int64_t itemQueryLimit = 300;
    static constexpr std::int64_t sourceAppLimit = 20;
    // A card shows the start of a text (its first 400 characters at most): longer ones are
    // listed cut, and read whole when an action writes them somewhere. Every listed byte is
    // converted to a string on every search, so the cut stays close to what a card shows.
    static constexpr qsizetype cardTextByteLimit = 4096;
    static constexpr std::chrono::milliseconds actionErrorLifetime { 5000 };
    static constexpr std::chrono::milliseconds cardRefusalLifetime { 2600 };
    static constexpr std::chrono::milliseconds filedFlashDuration { 1200 };
    static constexpr std::chrono::milliseconds departureDuration { 220 };
    static constexpr std::chrono::milliseconds dragPollInterval { 50 };

    // Keeps the services and loads the history once. scheduler runs all delayed work (the
    // message lifetimes, the departure, the drag poll); input answers the drag poll. With a
    // background search, searches and the source applications are read there and the list
    // keeps its rows until the answer comes; without, every reload reads on the spot.
    HistoryModel(ClipStore &store, const Preferences &preferences, Paster &paster,
        DelayScheduler &scheduler, InputDeviceState &input, HistorySearch *background = nullptr,
        QObject *parent = nullptr);
    ~HistoryModel() override;

    // Installed by the owner after construction; each may stay empty.
    std::function<void()> onDismiss;
    std::function<void()> onWillWritePasteboard;
    std::function<void()> onDragStarted;
    std::function<void()> onDragEnded;
    std::function<void()> onDragCancelled;

    // State.

    ClipListModel *itemsModel() const { return m_items; }
    PinboardListModel *pinboardsModel() const { return m_pinboards; }
    const std::vector<ClipItem> &items() const { return m_items->items(); }
    const std::vector<Pinboard> &pinboards() const { return m_pinboards->pinboards(); }
    std::optional<PinboardID> selectedPinboardID() const { return m_selectedPinboardID; }
    const QString &search() const { return m_search; }
    const std::set<ClipKind> &activeKinds() const { return m_activeKinds; }
    const std::set<QString> &activeSourceBundleIDs() const { return m_activeSourceBundleIDs; }
    const std::vector<SourceApp> &sourceApps() const { return m_sourceApps; }
    int selectedIndex() const { return m_selectedIndex; }
    int anchorIndex() const { return m_anchorIndex; }
    const std::set<ItemID> &markedIDs() const { return m_markedIDs; }
    const std::optional<RunningApplication> &pasteTarget() const { return m_pasteTarget; }
    bool isDraggingItem() const { return m_isDraggingItem; }
    bool isDragPollRunning() const { return m_dragPollRunning; }
    int presentationCount() const { return m_presentationCount; }
    const std::optional<QString> &snippetError() const { return m_snippetError; }
    const std::optional<QString> &actionError() const { return m_actionError; }
    const std::optional<CardRefusal> &cardRefusal() const { return m_cardRefusal; }
    int actionErrorToken() const { return m_actionErrorToken; }
    int cardRefusalToken() const { return m_cardRefusalToken; }
    std::optional<ItemID> departingItemID() const { return m_departingItemID; }
    std::optional<PinboardID> recentlyFiledPinboardID() const { return m_recentlyFiledPinboardID; }
    const std::vector<ItemID> &draggedItemIDs() const { return m_draggedItemIDs; }
    std::optional<ItemID> draggedPrimaryID() const { return m_draggedPrimaryID; }

    // Derived views.

    std::optional<ClipItem> selectedItem() const;
    // The marked items in list order, or the selected item alone when nothing is marked.
    std::vector<ClipItem> selectedItems() const;
    bool isHighlighted(const ClipItem &item) const;
    bool hasActiveFilters() const;
    std::optional<int> indexOfPinboard(PinboardID id) const;
    // The application's name for a source filter chip; the identifier when it is not listed.
    QString sourceName(const QString &bundleID) const;
    std::optional<ClipItem> itemWithID(ItemID id) const;
    // The listed item's whole text (read again when the list holds only its start), for
    // the editor; null when the item is not listed or has no text.
    Q_INVOKABLE QVariant wholeTextOf(qint64 itemID);

    // Loading, filters and selection.

    // Reloads pinboards, source applications and items; a store error empties the list.
    Q_INVOKABLE void reload();
    // Whether the list still shows the rows of an earlier search while a newer one runs.
    bool isAwaitingItems() const { return m_awaitingItems; }
    // Reads the items of a search still running in the background on the spot, so an action
    // on "the selection" acts on the rows of what was typed.
    void settleItems();
    // Both store the value (even an equal one), select the first card and reload.
    void setSearch(const QString &search);
    void setSelectedPinboardID(std::optional<PinboardID> id);
    Q_INVOKABLE void toggleKind(const QString &kind);
    void toggleKind(ClipKind kind);
    Q_INVOKABLE void toggleSource(const QString &bundleID);
    // Empties both filter sets, selects the first card and reloads.
    Q_INVOKABLE void clearFilters();
    // Moving to a different index re-anchors the range and drops the marks.
    void setSelectedIndex(int index);
    Q_INVOKABLE void select(int index, bool extending = false);
    void toggleMark(const ClipItem &item);
    Q_INVOKABLE void toggleMark(qint64 itemID);
    void extendSelection(const ClipItem &item);
    Q_INVOKABLE void extendSelection(qint64 itemID);
    // ⌘0 shows the Clipboard tab, n shows the n-th pinboard; false when there is none.
    Q_INVOKABLE bool selectPinboard(int number);
    // Selects the card numbered n (from 1) and gives its item; nothing when there is none.
    std::optional<ClipItem> selectItem(int number);
    // The panel is about to show: remembers where a paste goes, ends any drag, empties the
    // search and selects the first card, keeping the tab and the filters.
    void prepareForPresentation(const std::optional<RunningApplication> &target);
    void setPasteTarget(const std::optional<RunningApplication> &target);

    // Actions on items and pinboards. An absent item means the selection.

    void paste(const std::optional<ClipItem> &item = {});
    void copyOnly(const std::optional<ClipItem> &item = {});
    void pasteAlternate(const std::optional<ClipItem> &item = {});
    // Moves the items to the top in their order (the first on top) and, unless told not to,
    // dismisses the panel.
    void recordUse(const std::vector<ClipItem> &items, bool dismisses = true);
    // Deletes the item, keeping the selection at the same position; errors are logged.
    void deleteItem(const ClipItem &item);
    // Puts the item on the pinboard or takes it off; refusals show as the action error.
    void toggleFiling(const ClipItem &item, PinboardID pinboardID);
    // Creates a pinboard named by the trimmed name (nothing for a blank name), filing item.
    void createPinboard(const QString &name, const std::optional<ClipItem> &item = {});
    // Moves a pinboard to a position (clamped); the store is not touched when it stays.
    void movePinboard(PinboardID id, int position);
    // Moves a pinboard by an offset from its position ("Move Left" -1, "Move Right" +1).
    void movePinboardBy(PinboardID id, int offset);
    void deletePinboard(PinboardID id);
    // Records a snippet (on pinboardID when given) with a trigger; false with snippetError
    // set when it could not be saved. An item recorded before a refused trigger stays.
    bool createSnippet(const QString &text, const QString &trigger,
        const std::optional<PinboardID> &pinboardID = {});
    bool updateSnippet(const ClipItem &item, const QString &text, const QString &trigger);
    Q_INVOKABLE void clearSnippetError();
    // Shows the error's description for 5 seconds after the last error.
    void showActionError(const std::exception &error);
    void showActionError(const QString &message);
    // Shows a message in the same place for as long, without logging it as a refusal.
    void showNotice(const QString &message);
    // Hides the action error at once (a click on it); its pending clearing becomes stale.
    Q_INVOKABLE void dismissActionError();

    // Dragging cards.

    // Starts dragging the item (with all marked cards when it is marked) and gives what
    // the drag carries.
    DragItemProvider beginDrag(const ClipItem &item);
    void endDrag(bool animated = true);
    // Escape during a drag: ends it and reports the cancellation after the end.
    void cancelDrag();
    // Files the dragged items onto a pinboard (or, absent, the Clipboard tab); false when
    // nothing was filed.
    bool dropDraggedItems(const std::optional<PinboardID> &target);
    Q_INVOKABLE bool dropDraggedItemsOnto(const QVariant &target);
    bool file(ItemID id, const std::optional<PinboardID> &target,
        const std::optional<PinboardID> &source);
    // Shows the store's short message under the item's card for 2.6 seconds.
    void refuse(const std::exception &error, ItemID itemID);

    // QML forms of the optional and set-valued fields.
    QVariant selectedPinboardIDValue() const;
    void setSelectedPinboardIDValue(const QVariant &id);
    QStringList activeKindNames() const;
    QStringList activeSourceBundleIDList() const;
    QVariantList sourceAppList() const;
    QVariantList markedIDList() const;
    QVariant pasteTargetValue() const;
    QVariant snippetErrorValue() const;
    QVariant actionErrorValue() const;
    QVariant cardRefusalValue() const;
    QVariant departingItemIDValue() const;
    QVariant recentlyFiledPinboardIDValue() const;
    QVariantList draggedItemIDList() const;
    QVariant draggedPrimaryIDValue() const;

    // Thin forms of the actions for the views, which name items and pinboards by id. An
    // absent or unknown item id means the selection where the action has that form.
    Q_INVOKABLE void pasteItem(const QVariant &itemID);
    Q_INVOKABLE void copyOnlyItem(const QVariant &itemID);
    Q_INVOKABLE void pasteAlternateItem(const QVariant &itemID);
    Q_INVOKABLE void deleteItemWithID(qint64 itemID);
    Q_INVOKABLE void toggleFilingOf(qint64 itemID, qint64 pinboardID);
    Q_INVOKABLE void createPinboardNamed(const QString &name);
    Q_INVOKABLE void movePinboardTo(qint64 pinboardID, int position);
    Q_INVOKABLE void movePinboardByOffset(qint64 pinboardID, int offset);
    Q_INVOKABLE void deletePinboardWithID(qint64 pinboardID);
    Q_INVOKABLE bool createSnippetOn(
        const QString &text, const QString &trigger, const QVariant &pinboardID);
    Q_INVOKABLE bool updateSnippetOf(qint64 itemID, const QString &text, const QString &trigger);
    // The ids of the pinboards holding the item, read from the store; empty on an error.
    Q_INVOKABLE QVariantList pinboardIDsOfItem(qint64 itemID) const;
    // selectItem by shortcut number: the selected item's id, or null when there is none.
    Q_INVOKABLE QVariant selectItemNumber(int number);
    Q_INVOKABLE QString sourceNameOf(const QString &bundleID) const { return sourceName(bundleID); }
    bool expandsSnippets() const;
    QString expansionPrefix() const;

Q_SIGNALS:
    void itemsChanged();
    void pinboardsChanged();
    void selectedPinboardIDChanged();
    void searchChanged();
    void activeKindsChanged();
    void activeSourceBundleIDsChanged();
    void hasActiveFiltersChanged();
    void sourceAppsChanged();
    void selectedIndexChanged();
    void anchorIndexChanged();
    void markedIDsChanged();
    void pasteTargetChanged();
    void isDraggingItemChanged();
    void dragPollTimerChanged();
    void presentationCountChanged();
    void snippetErrorChanged();
    void actionErrorChanged();
    void cardRefusalChanged();
    void actionErrorTokenChanged();
    void cardRefusalTokenChanged();
    void departingItemIDChanged();
    void recentlyFiledPinboardIDChanged();
    void draggedItemIDsChanged();
    void draggedPrimaryIDChanged();
    void expandsSnippetsChanged();
    void expansionPrefixChanged();

private:
    template <typename T> bool assign(T &field, const T &value, void (HistoryModel::*changed)());

    std::vector<ClipItem> targets(const std::optional<ClipItem> &item) const;
    void writeItems(const std::optional<ClipItem> &item, bool paste, bool plainText);
    void resetSelectionAndReload();
    // reload, with what the user typed (an emptied search too) read in the background.
    void reloadReadingSearchesInBackground(bool typed);
    ClipStore::Filter currentFilter() const;
    // Reads the list for the current filter on this thread; a store error empties it.
    void readItemsOnTheSpot();
    // The items with every cut text read whole; those gone meanwhile are left out.
    std::vector<ClipItem> whole(std::vector<ClipItem> items);
    // Keeps the listed applications and drops active source filters no longer listed;
    // whether that changed the active filters.
    bool applySourceApps(const std::vector<SourceApp> &apps);
    void applyItemsAnswer(const HistorySearch::ItemsAnswer &answer);
    void clampSelection();
    void setItems(const std::vector<ClipItem> &items);
    void setAnchorIndex(int index);
    void setMarkedIDs(const std::set<ItemID> &ids);
    void setSnippetError(const std::optional<QString> &message);
    void setActionError(const std::optional<QString> &message);
    void setCardRefusal(const std::optional<CardRefusal> &refusal);
    void setDepartingItemID(const std::optional<ItemID> &id);
    void setRecentlyFiledPinboardID(const std::optional<PinboardID> &id);
    void setDraggedItemIDs(const std::vector<ItemID> &ids);
    void setDraggedPrimaryID(const std::optional<ItemID> &id);
    void setIsDraggingItem(bool dragging);
    void applyTrigger(const QString &trigger, ItemID id);
    void markDeparting(ItemID id);
    void flashFiled(const std::optional<PinboardID> &target);
    void startDragPoll();
    void stopDragPoll();
    void scheduleDragPoll(int generation);
    void pollDrag();

    ClipStore &m_store;
    const Preferences &m_preferences;
    Paster &m_paster;
    DelayScheduler &m_scheduler;
    InputDeviceState &m_input;
    HistorySearch *m_background;
    // The newest question about items: answers to older ones are dropped.
    HistorySearch::Ticket m_itemsTicket = 0;
    bool m_awaitingItems = false;

    ClipListModel *m_items;
    PinboardListModel *m_pinboards;
    std::optional<PinboardID> m_selectedPinboardID;
    QString m_search;
    std::set<ClipKind> m_activeKinds;
    std::set<QString> m_activeSourceBundleIDs;
    std::vector<SourceApp> m_sourceApps;
    int m_selectedIndex = 0;
    int m_anchorIndex = 0;
    std::set<ItemID> m_markedIDs;
    std::optional<RunningApplication> m_pasteTarget;
    bool m_isDraggingItem = false;
    // The poll is a chain of single shots; bumping the generation invalidates the chain.
    int m_dragPollGeneration = 0;
    bool m_dragPollRunning = false;
    int m_presentationCount = 0;
    std::optional<QString> m_snippetError;
    std::optional<QString> m_actionError;
    std::optional<CardRefusal> m_cardRefusal;
    int m_actionErrorToken = 0;
    int m_cardRefusalToken = 0;
    std::optional<ItemID> m_departingItemID;
    std::optional<PinboardID> m_recentlyFiledPinboardID;
    std::vector<ItemID> m_draggedItemIDs;
    std::optional<ItemID> m_draggedPrimaryID;
};

} // namespace corvane
