#include "panel/historymodel.h"

#include "capture/candidateextraction.h"
#include "common/logging.h"
#include "panel/delayscheduler.h"
#include "panel/paster.h"
#include "platform/inputdevicestate.h"
#include "preferences/preferences.h"
#include "store/blobfiles.h"
#include "store/clipstore.h"
#include "store/filesystemerror.h"
#include "store/itemtitle.h"
#include "store/sqlitedatabase.h"

#include <QDir>
#include <QFile>
#include <QVariantMap>

#include <algorithm>

namespace corvane {

namespace {

QVariant optionalID(const std::optional<std::int64_t> &id)
{
    return id ? QVariant::fromValue(static_cast<qint64>(*id)) : QVariant();
}

std::optional<std::int64_t> idFromVariant(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return std::nullopt;
    bool ok = false;
    const qint64 id = value.toLongLong(&ok);
    return ok ? std::optional<std::int64_t>(id) : std::nullopt;
}

QString storeMessage(const std::exception &error)
{
    if (const auto *refusal = dynamic_cast<const ClipStoreError *>(&error))
        return refusal->shortMessage();
    return errorDescription(error);
}

} // namespace

HistoryModel::HistoryModel(ClipStore &store, const Preferences &preferences, Paster &paster,
    DelayScheduler &scheduler, InputDeviceState &input, HistorySearch *background, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_preferences(preferences)
    , m_paster(paster)
    , m_scheduler(scheduler)
    , m_input(input)
    , m_background(background)
    , m_items(new ClipListModel([this](const ClipItem &item) { return isHighlighted(item); }, this))
    , m_pinboards(new PinboardListModel(this))
{
    // The cards count a cut text's characters in the whole text, read on the counting thread.
    m_items->readWholeText
        = [&store = m_store](const ClipItem &item, const ClipListModel::TextPieces &consume) {
              return store.readText(item.id, item.fingerprint, ClipStore::textPieceBytes, consume);
          };
    connect(&m_preferences, &Preferences::expandsSnippetsChanged, this,
        &HistoryModel::expandsSnippetsChanged);
    connect(&m_preferences, &Preferences::expansionPrefixChanged, this,
        &HistoryModel::expansionPrefixChanged);
    if (m_background) {
        m_background->onItems
            = [this](const HistorySearch::ItemsAnswer &answer) { applyItemsAnswer(answer); };
        m_background->onSourceApps = [this](const std::vector<SourceApp> &apps) {
            // A source filter that went away changes what the list shows.
            if (applySourceApps(apps))
                reload();
        };
    }
    reload();
}

HistoryModel::~HistoryModel()
{
    if (m_background) {
        m_background->onItems = nullptr;
        m_background->onSourceApps = nullptr;
    }
}

template <typename T>
bool HistoryModel::assign(T &field, const T &value, void (HistoryModel::*changed)())
{
    if (field == value)
        return false;
    field = value;
    Q_EMIT(this->*changed)();
    return true;
}

// Derived views.

std::optional<ClipItem> HistoryModel::selectedItem() const
{
    const auto &list = items();
    if (m_selectedIndex < 0 || static_cast<std::size_t>(m_selectedIndex) >= list.size())
        return std::nullopt;
    return list[static_cast<std::size_t>(m_selectedIndex)];
}

std::vector<ClipItem> HistoryModel::selectedItems() const
{
    if (m_markedIDs.empty()) {
        if (const auto item = selectedItem())
            return { *item };
        return {};
    }
    std::vector<ClipItem> marked;
    for (const ClipItem &item : items()) {
        if (m_markedIDs.contains(item.id))
            marked.push_back(item);
    }
    return marked;
}

bool HistoryModel::isHighlighted(const ClipItem &item) const
{
    if (!m_markedIDs.empty())
        return m_markedIDs.contains(item.id);
    const auto selected = selectedItem();
    return selected && selected->id == item.id;
}

bool HistoryModel::hasActiveFilters() const
{
    return !m_activeKinds.empty() || !m_activeSourceBundleIDs.empty();
}

std::optional<int> HistoryModel::indexOfPinboard(PinboardID id) const
{
    const auto &list = pinboards();
    const auto found
        = std::find_if(list.begin(), list.end(), [id](const Pinboard &p) { return p.id == id; });
    if (found == list.end())
        return std::nullopt;
    return static_cast<int>(found - list.begin());
}

QString HistoryModel::sourceName(const QString &bundleID) const
{
    for (const SourceApp &app : m_sourceApps) {
        if (app.bundleID == bundleID)
            return app.name;
    }
    return bundleID;
}

std::optional<ClipItem> HistoryModel::itemWithID(ItemID id) const
{
    for (const ClipItem &item : items()) {
        if (item.id == id)
            return item;
    }
    return std::nullopt;
}

// Loading, filters and selection.

void HistoryModel::reload()
{
    reloadReadingSearchesInBackground(false);
}

void HistoryModel::reloadReadingSearchesInBackground(bool typed)
{
    try {
        if (m_pinboards->setPinboards(m_store.pinboards()))
            Q_EMIT pinboardsChanged();
        if (m_selectedPinboardID && !indexOfPinboard(*m_selectedPinboardID)) {
            // The pinboard went away (deleted by the tool server, say): this assignment
            // reloads on the Clipboard tab.
            setSelectedPinboardID(std::nullopt);
            return;
        }
        // Counting items by application reads a whole index: at a million items that is
        // longer than a frame, so with a background search the chips follow a moment later.
        if (m_background)
            m_background->countSourceApps(sourceAppLimit);
        else
            applySourceApps(m_store.sourceApps(sourceAppLimit));
    } catch (const std::exception &error) {
        qCCritical(lcHistory).noquote() << "Could not load history:" << errorDescription(error);
        setItems({});
        return;
    }
    ++m_itemsTicket;
    // The plain list is an index walk, read on the spot so the panel opens on it; a search
    // may scan, so it runs in the background while the list keeps its rows.
    m_awaitingItems = m_background && (typed || !m_search.trimmed().isEmpty());
    if (m_awaitingItems)
        m_background->searchItems(currentFilter(), m_itemsTicket);
    else
        readItemsOnTheSpot();
}

void HistoryModel::settleItems()
{
    if (!m_awaitingItems)
        return;
    ++m_itemsTicket;
    m_awaitingItems = false;
    readItemsOnTheSpot();
}

void HistoryModel::readItemsOnTheSpot()
{
    try {
        setItems(m_store.items(currentFilter()));
    } catch (const std::exception &error) {
        qCCritical(lcHistory).noquote() << "Could not load history:" << errorDescription(error);
        setItems({});
        return;
    }
    clampSelection();
}

std::vector<ClipItem> HistoryModel::whole(std::vector<ClipItem> items)
{
    std::vector<ClipItem> complete;
    for (ClipItem &item : items) {
        try {
            // Gone meanwhile (deleted by the tool server, say): nothing of it is written.
            if (std::optional<ClipItem> read = m_store.wholeItem(std::move(item)))
                complete.push_back(std::move(*read));
        } catch (const std::exception &error) {
            qCWarning(lcHistory).noquote()
                << "Could not read a long text in full:" << errorDescription(error);
        }
    }
    return complete;
}

QVariant HistoryModel::wholeTextOf(qint64 itemID)
{
    const std::optional<ClipItem> listed = itemWithID(itemID);
    if (!listed)
        return {};
    const std::vector<ClipItem> read = whole({ *listed });
    if (read.empty() || !read.front().text)
        return {};
    return *read.front().text;
}

ClipStore::Filter HistoryModel::currentFilter() const
{
    ClipStore::Filter filter;
    filter.search = m_search;
    filter.pinboardID = m_selectedPinboardID;
    filter.kinds = m_activeKinds;
    filter.sourceBundleIDs = m_activeSourceBundleIDs;
    filter.onlyUnfiled = !m_selectedPinboardID.has_value();
    filter.limit = itemQueryLimit;
    filter.textByteLimit = cardTextByteLimit;
    return filter;
}

bool HistoryModel::applySourceApps(const std::vector<SourceApp> &apps)
{
    assign(m_sourceApps, apps, &HistoryModel::sourceAppsChanged);
    std::set<QString> listed;
    for (const SourceApp &app : m_sourceApps)
        listed.insert(app.bundleID);
    std::set<QString> kept;
    std::set_intersection(m_activeSourceBundleIDs.begin(), m_activeSourceBundleIDs.end(),
        listed.begin(), listed.end(), std::inserter(kept, kept.end()));
    if (!assign(m_activeSourceBundleIDs, kept, &HistoryModel::activeSourceBundleIDsChanged))
        return false;
    Q_EMIT hasActiveFiltersChanged();
    return true;
}

void HistoryModel::applyItemsAnswer(const HistorySearch::ItemsAnswer &answer)
{
    if (!m_awaitingItems || answer.ticket != m_itemsTicket)
        return;
    m_awaitingItems = false;
    if (answer.error) {
        qCCritical(lcHistory).noquote() << "Could not load history:" << *answer.error;
        setItems({});
        return;
    }
    setItems(answer.items);
    clampSelection();
}

void HistoryModel::clampSelection()
{
    const int count = static_cast<int>(items().size());
    setSelectedIndex(std::min(std::max(count - 1, 0), std::max(m_selectedIndex, 0)));
}

void HistoryModel::setItems(const std::vector<ClipItem> &list)
{
    if (m_items->setItems(list))
        Q_EMIT itemsChanged();
}

void HistoryModel::resetSelectionAndReload()
{
    setSelectedIndex(0);
    reload();
}

void HistoryModel::setSearch(const QString &search)
{
    assign(m_search, search, &HistoryModel::searchChanged);
    setSelectedIndex(0);
    // Emptied too: the list it goes back to may hold texts long enough to take a while.
    reloadReadingSearchesInBackground(true);
}

void HistoryModel::setSelectedPinboardID(std::optional<PinboardID> id)
{
    assign(m_selectedPinboardID, id, &HistoryModel::selectedPinboardIDChanged);
    resetSelectionAndReload();
}

void HistoryModel::toggleKind(const QString &kind)
{
    for (ClipKind candidate : allClipKinds) {
        if (storedString(candidate) == kind) {
            toggleKind(candidate);
            return;
        }
    }
}

void HistoryModel::toggleKind(ClipKind kind)
{
    if (!m_activeKinds.erase(kind))
        m_activeKinds.insert(kind);
    Q_EMIT activeKindsChanged();
    Q_EMIT hasActiveFiltersChanged();
    resetSelectionAndReload();
}

void HistoryModel::toggleSource(const QString &bundleID)
{
    if (!m_activeSourceBundleIDs.erase(bundleID))
        m_activeSourceBundleIDs.insert(bundleID);
    Q_EMIT activeSourceBundleIDsChanged();
    Q_EMIT hasActiveFiltersChanged();
    resetSelectionAndReload();
}

void HistoryModel::clearFilters()
{
    const bool had = hasActiveFilters();
    assign(m_activeKinds, {}, &HistoryModel::activeKindsChanged);
    assign(m_activeSourceBundleIDs, {}, &HistoryModel::activeSourceBundleIDsChanged);
    if (had)
        Q_EMIT hasActiveFiltersChanged();
    resetSelectionAndReload();
}

void HistoryModel::setSelectedIndex(int index)
{
    if (!assign(m_selectedIndex, index, &HistoryModel::selectedIndexChanged))
        return;
    setAnchorIndex(index);
    setMarkedIDs({});
    m_items->highlightChanged();
}

void HistoryModel::setAnchorIndex(int index)
{
    assign(m_anchorIndex, index, &HistoryModel::anchorIndexChanged);
}

void HistoryModel::setMarkedIDs(const std::set<ItemID> &ids)
{
    if (assign(m_markedIDs, ids, &HistoryModel::markedIDsChanged))
        m_items->highlightChanged();
}

void HistoryModel::select(int index, bool extending)
{
    const auto &list = items();
    if (list.empty())
        return;
    const int last = static_cast<int>(list.size()) - 1;
    const int target = std::clamp(index, 0, last);
    if (!extending) {
        setSelectedIndex(target);
        return;
    }
    const int anchor = std::clamp(m_anchorIndex, 0, last);
    setSelectedIndex(target);
    setAnchorIndex(anchor);
    std::set<ItemID> range;
    if (target != anchor) {
        for (int i = std::min(target, anchor); i <= std::max(target, anchor); ++i)
            range.insert(list[static_cast<std::size_t>(i)].id);
    }
    setMarkedIDs(range);
}

void HistoryModel::toggleMark(const ClipItem &item)
{
    std::set<ItemID> marks = m_markedIDs;
    if (marks.empty()) {
        if (const auto selected = selectedItem())
            marks.insert(selected->id);
    }
    if (!marks.erase(item.id))
        marks.insert(item.id);
    setMarkedIDs(marks.size() >= 2 ? marks : std::set<ItemID> {});

    const auto &list = items();
    const auto found = std::find_if(
        list.begin(), list.end(), [&](const ClipItem &i) { return i.id == item.id; });
    if (found == list.end())
        return;
    const std::set<ItemID> remembered = m_markedIDs;
    setSelectedIndex(static_cast<int>(found - list.begin()));
    setMarkedIDs(remembered);
}

void HistoryModel::toggleMark(qint64 itemID)
{
    if (const auto item = itemWithID(itemID))
        toggleMark(*item);
}

void HistoryModel::extendSelection(const ClipItem &item)
{
    const auto &list = items();
    const auto found = std::find_if(
        list.begin(), list.end(), [&](const ClipItem &i) { return i.id == item.id; });
    if (found != list.end())
        select(static_cast<int>(found - list.begin()), true);
}

void HistoryModel::extendSelection(qint64 itemID)
{
    if (const auto item = itemWithID(itemID))
        extendSelection(*item);
}

bool HistoryModel::selectPinboard(int number)
{
    if (number == 0) {
        setSelectedPinboardID(std::nullopt);
        return true;
    }
    const auto &list = pinboards();
    if (number < 1 || static_cast<std::size_t>(number) > list.size())
        return false;
    setSelectedPinboardID(list[static_cast<std::size_t>(number - 1)].id);
    return true;
}

std::optional<ClipItem> HistoryModel::selectItem(int number)
{
    settleItems();
    const auto &list = items();
    if (number < 1 || static_cast<std::size_t>(number) > list.size())
        return std::nullopt;
    setSelectedIndex(number - 1);
    return list[static_cast<std::size_t>(number - 1)];
}

void HistoryModel::prepareForPresentation(const std::optional<RunningApplication> &target)
{
    setPasteTarget(target);
    endDrag(true);
    // One reload for the emptied search and the first card: the panel is waiting for it.
    assign(m_search, QString(), &HistoryModel::searchChanged);
    setSelectedIndex(0);
    reload();
    ++m_presentationCount;
    Q_EMIT presentationCountChanged();
}

void HistoryModel::setPasteTarget(const std::optional<RunningApplication> &target)
{
    assign(m_pasteTarget, target, &HistoryModel::pasteTargetChanged);
}

// Actions.

std::vector<ClipItem> HistoryModel::targets(const std::optional<ClipItem> &item) const
{
    if (!item || m_markedIDs.contains(item->id))
        return selectedItems();
    return { *item };
}

void HistoryModel::writeItems(const std::optional<ClipItem> &item, bool paste, bool plainText)
{
    if (!item)
        settleItems();
    const std::vector<ClipItem> chosen = whole(targets(item));
    if (chosen.empty())
        return;
    if (onWillWritePasteboard)
        onWillWritePasteboard();
    // Where no keystroke can be posted the panel stays and says so, rather than closing as
    // if the paste had happened.
    const bool pasteLeftToUser = paste
        && m_paster.paste(chosen, m_pasteTarget, plainText) == Paster::PasteResult::copiedOnly;
    if (!paste)
        m_paster.copy(chosen, plainText);
    recordUse(chosen, !pasteLeftToUser);
    if (pasteLeftToUser)
        showNotice(QStringLiteral("Copied — press Ctrl+V to paste"));
}

void HistoryModel::paste(const std::optional<ClipItem> &item)
{
    writeItems(item, m_preferences.pastesOnSelect(), m_preferences.pastesPlainText());
}

void HistoryModel::copyOnly(const std::optional<ClipItem> &item)
{
    writeItems(item, false, m_preferences.pastesPlainText());
}

void HistoryModel::pasteAlternate(const std::optional<ClipItem> &item)
{
    writeItems(item, true, !m_preferences.pastesPlainText());
}

void HistoryModel::recordUse(const std::vector<ClipItem> &chosen, bool dismisses)
{
    // Backwards, each a little later than the one before, so the first item ends on top.
    // The store keeps milliseconds: without the step, items bumped within one millisecond
    // would tie and come back in the database's order instead of the user's.
    Timestamp last = distantPast;
    for (auto it = chosen.rbegin(); it != chosen.rend(); ++it) {
        Timestamp when = now();
        if (last != distantPast && when <= last)
            when = last + std::chrono::milliseconds(1);
        last = when;
        try {
            m_store.bump(it->id, when);
        } catch (const std::exception &) {
            // Moving to the top is a courtesy; the paste itself has happened.
        }
    }
    if (dismisses && onDismiss)
        onDismiss();
}

void HistoryModel::deleteItem(const ClipItem &item)
{
    try {
        m_store.deleteItems({ item.id });
    } catch (const std::exception &error) {
        qCCritical(lcHistory).noquote() << QStringLiteral("Could not delete item %1: %2")
                                               .arg(item.id)
                                               .arg(errorDescription(error));
        return;
    }
    const int remembered = m_selectedIndex;
    reload();
    setSelectedIndex(std::min(std::max(static_cast<int>(items().size()) - 1, 0), remembered));
}

void HistoryModel::toggleFiling(const ClipItem &item, PinboardID pinboardID)
{
    std::set<PinboardID> holding;
    try {
        holding = m_store.pinboardIDs(item.id);
    } catch (const std::exception &) {
        // Counted as on no pinboard: the toggle then files the item.
    }
    try {
        if (holding.contains(pinboardID))
            m_store.removeItem(item.id, pinboardID);
        else
            m_store.addItem(pinboardID, item.id);
    } catch (const std::exception &error) {
        showActionError(error);
        return;
    }
    reload();
}

void HistoryModel::createPinboard(const QString &name, const std::optional<ClipItem> &item)
{
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty())
        return;
    try {
        const Pinboard created = m_store.createPinboard(trimmed);
        if (item)
            m_store.addItem(created.id, item->id);
    } catch (const std::exception &error) {
        qCCritical(lcHistory).noquote() << "Could not create pinboard:" << errorDescription(error);
        return;
    }
    reload();
}

void HistoryModel::movePinboard(PinboardID id, int position)
{
    const auto from = indexOfPinboard(id);
    if (!from)
        return;
    const int to = std::clamp(position, 0, static_cast<int>(pinboards().size()) - 1);
    if (to == *from)
        return;
    std::vector<PinboardID> ids;
    for (const Pinboard &pinboard : pinboards())
        ids.push_back(pinboard.id);
    ids.erase(ids.begin() + *from);
    ids.insert(ids.begin() + to, id);
    try {
        m_store.reorderPinboards(ids);
    } catch (const std::exception &error) {
        qCCritical(lcHistory).noquote()
            << "Could not reorder pinboards:" << errorDescription(error);
    }
    reload();
}

void HistoryModel::movePinboardBy(PinboardID id, int offset)
{
    if (const auto from = indexOfPinboard(id))
        movePinboard(id, *from + offset);
}

void HistoryModel::deletePinboard(PinboardID id)
{
    try {
        m_store.deletePinboard(id);
    } catch (const std::exception &error) {
        showActionError(error);
        return;
    }
    if (m_selectedPinboardID == id)
        setSelectedPinboardID(std::nullopt);
    else
        reload();
}

bool HistoryModel::createSnippet(
    const QString &text, const QString &trigger, const std::optional<PinboardID> &pinboardID)
{
    setSnippetError(std::nullopt);
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return false;

    ClipKind kind = ClipKind::text;
    if (recognizeLink(trimmed))
        kind = ClipKind::link;
    else if (recognizeColor(trimmed))
        kind = ClipKind::color;

    const ItemTitle title = titleOfText(text);
    ClipCandidate candidate;
    candidate.kind = kind;
    candidate.text = text.toUtf8();
    candidate.title = title.title;
    candidate.subtitle = title.subtitle;
    candidate.byteCount = candidate.text->size();
    candidate.sourceAppName = QStringLiteral("Corvane");
    candidate.capturedAt = now();

    try {
        const std::optional<ClipItem> recorded
            = m_store.record(candidate, 0, 0, ClipStore::payloadCapBytes);
        if (!recorded) {
            setSnippetError(
                QStringLiteral("That could not be saved — it looked like a password or a token."));
            return false;
        }
        if (pinboardID)
            m_store.addItem(*pinboardID, recorded->id);
        applyTrigger(trigger, recorded->id);
    } catch (const std::exception &error) {
        const QString description = errorDescription(error);
        setSnippetError(description);
        qCCritical(lcHistory).noquote() << "Could not create a snippet:" << description;
        return false;
    }
    reload();
    return true;
}

bool HistoryModel::updateSnippet(const ClipItem &item, const QString &text, const QString &trigger)
{
    setSnippetError(std::nullopt);
    if (text.trimmed().isEmpty())
        return false;
    try {
        m_store.updateText(item.id, text);
        applyTrigger(trigger, item.id);
    } catch (const std::exception &error) {
        setSnippetError(errorDescription(error));
        return false;
    }
    reload();
    return true;
}

void HistoryModel::applyTrigger(const QString &trigger, ItemID id)
{
    const QString trimmed = trigger.trimmed();
    m_store.setTrigger(id, trimmed.isEmpty() ? std::nullopt : std::optional<QString>(trimmed));
}

void HistoryModel::clearSnippetError()
{
    setSnippetError(std::nullopt);
}

void HistoryModel::showActionError(const std::exception &error)
{
    showActionError(errorDescription(error));
}

void HistoryModel::showActionError(const QString &message)
{
    qCCritical(lcHistory).noquote() << "Refused:" << message;
    showNotice(message);
}

void HistoryModel::showNotice(const QString &message)
{
    setActionError(message);
    const int token = ++m_actionErrorToken;
    Q_EMIT actionErrorTokenChanged();
    m_scheduler.runAfter(actionErrorLifetime, this, [this, token] {
        if (m_actionErrorToken == token)
            setActionError(std::nullopt);
    });
}

void HistoryModel::dismissActionError()
{
    ++m_actionErrorToken;
    Q_EMIT actionErrorTokenChanged();
    setActionError(std::nullopt);
}

// Dragging.

DragItemProvider HistoryModel::beginDrag(const ClipItem &item)
{
    const std::vector<ClipItem> chosen = whole(targets(item));
    setIsDraggingItem(true);
    setDraggedPrimaryID(item.id);
    std::vector<ItemID> ids;
    for (const ClipItem &i : chosen)
        ids.push_back(i.id);
    setDraggedItemIDs(ids);
    startDragPoll();
    if (onDragStarted)
        onDragStarted();
    if (onWillWritePasteboard)
        onWillWritePasteboard();
    for (const ClipItem &i : chosen) {
        try {
            m_store.markUsed(i.id, now());
        } catch (const std::exception &) {
            // Bookkeeping only; the drag goes on.
        }
    }

    if (chosen.size() >= 2) {
        QStringList texts;
        for (const ClipItem &i : chosen) {
            if (i.text)
                texts << *i.text;
        }
        const QString joined = texts.join(QLatin1Char('\n'));
        if (!joined.isEmpty()) {
            DragItemProvider provider;
            provider.mimeData->setText(joined);
            provider.mimeData->setData(
                itemMarkerType(), QByteArray::number(static_cast<qlonglong>(item.id)));
            return provider;
        }
    }

    std::optional<QByteArray> payload;
    if (item.blobName && isBlobName(*item.blobName)) {
        QFile file(QDir(m_store.blobDirectory()).filePath(*item.blobName));
        if (file.open(QIODevice::ReadOnly))
            payload = file.readAll();
    }
    if (std::optional<DragItemProvider> provider = dragItemProvider(item, payload))
        return std::move(*provider);
    return {};
}

void HistoryModel::endDrag(bool animated)
{
    Q_UNUSED(animated) // the views pick the animation; the state changes the same way
    stopDragPoll();
    const bool wasDragging = m_isDraggingItem;
    setIsDraggingItem(false);
    setDraggedPrimaryID(std::nullopt);
    if (wasDragging && onDragEnded)
        onDragEnded();
    setDraggedItemIDs({});
}

void HistoryModel::cancelDrag()
{
    if (!m_isDraggingItem)
        return;
    qCInfo(lcHistory) << "Drag cancelled with Escape";
    endDrag(true);
    if (onDragCancelled)
        onDragCancelled();
}

bool HistoryModel::dropDraggedItems(const std::optional<PinboardID> &target)
{
    const std::vector<ItemID> ids = m_draggedItemIDs;
    if (ids.empty()) {
        qCCritical(lcHistory) << "A drop landed with no dragged item recorded";
        return false;
    }
    const std::optional<PinboardID> source = m_selectedPinboardID;
    endDrag(false);
    setMarkedIDs({});
    bool filed = false;
    for (auto it = ids.rbegin(); it != ids.rend(); ++it) {
        if (file(*it, target, source))
            filed = true;
    }
    return filed;
}

bool HistoryModel::dropDraggedItemsOnto(const QVariant &target)
{
    return dropDraggedItems(idFromVariant(target));
}

bool HistoryModel::file(
    ItemID id, const std::optional<PinboardID> &target, const std::optional<PinboardID> &source)
{
    if (target == source)
        return false;
    try {
        markDeparting(id);
        if (target) {
            m_store.addItem(*target, id);
            if (source)
                m_store.removeItem(id, *source);
        } else {
            m_store.removeItem(id, *source);
        }
    } catch (const std::exception &error) {
        setDepartingItemID(std::nullopt);
        reload();
        refuse(error, id);
        return false;
    }
    qCInfo(lcHistory).noquote() << QStringLiteral("Filed item %1 onto %2")
                                       .arg(id)
                                       .arg(target ? QString::number(*target)
                                                   : QStringLiteral("the clipboard"));
    flashFiled(target);
    return true;
}

void HistoryModel::refuse(const std::exception &error, ItemID itemID)
{
    qCCritical(lcHistory).noquote() << "Refused:" << errorDescription(error);
    setCardRefusal(CardRefusal { itemID, storeMessage(error) });
    const int token = ++m_cardRefusalToken;
    Q_EMIT cardRefusalTokenChanged();
    m_scheduler.runAfter(cardRefusalLifetime, this, [this, token] {
        if (m_cardRefusalToken == token)
            setCardRefusal(std::nullopt);
    });
}

void HistoryModel::markDeparting(ItemID id)
{
    setDepartingItemID(id);
    // The card shrinks away first; the list changes once the animation has run.
    m_scheduler.runAfter(departureDuration, this, [this, id] {
        if (m_departingItemID == id) {
            setDepartingItemID(std::nullopt);
            reload();
        }
    });
}

void HistoryModel::flashFiled(const std::optional<PinboardID> &target)
{
    if (!target || m_selectedPinboardID == target)
        return;
    const PinboardID id = *target;
    setRecentlyFiledPinboardID(id);
    m_scheduler.runAfter(filedFlashDuration, this, [this, id] {
        if (m_recentlyFiledPinboardID == id)
            setRecentlyFiledPinboardID(std::nullopt);
    });
}

void HistoryModel::startDragPoll()
{
    stopDragPoll();
    assign(m_dragPollRunning, true, &HistoryModel::dragPollTimerChanged);
    scheduleDragPoll(m_dragPollGeneration);
}

void HistoryModel::stopDragPoll()
{
    ++m_dragPollGeneration;
    assign(m_dragPollRunning, false, &HistoryModel::dragPollTimerChanged);
}

void HistoryModel::scheduleDragPoll(int generation)
{
    m_scheduler.runAfter(dragPollInterval, this, [this, generation] {
        if (generation != m_dragPollGeneration)
            return;
        pollDrag();
        if (generation == m_dragPollGeneration && m_dragPollRunning)
            scheduleDragPoll(generation);
    });
}

void HistoryModel::pollDrag()
{
    if (!m_isDraggingItem) {
        stopDragPoll();
        return;
    }
    if (m_input.isEscapeKeyDown()) {
        cancelDrag();
        return;
    }
    // A drop outside every application, or on the desktop, ends with no callback at all:
    // the released button is the only sign.
    if (!m_input.isMouseButtonPressed())
        endDrag(true);
}

// Field setters.

void HistoryModel::setSnippetError(const std::optional<QString> &message)
{
    assign(m_snippetError, message, &HistoryModel::snippetErrorChanged);
}

void HistoryModel::setActionError(const std::optional<QString> &message)
{
    assign(m_actionError, message, &HistoryModel::actionErrorChanged);
}

void HistoryModel::setCardRefusal(const std::optional<CardRefusal> &refusal)
{
    assign(m_cardRefusal, refusal, &HistoryModel::cardRefusalChanged);
}

void HistoryModel::setDepartingItemID(const std::optional<ItemID> &id)
{
    assign(m_departingItemID, id, &HistoryModel::departingItemIDChanged);
}

void HistoryModel::setRecentlyFiledPinboardID(const std::optional<PinboardID> &id)
{
    assign(m_recentlyFiledPinboardID, id, &HistoryModel::recentlyFiledPinboardIDChanged);
}

void HistoryModel::setDraggedItemIDs(const std::vector<ItemID> &ids)
{
    assign(m_draggedItemIDs, ids, &HistoryModel::draggedItemIDsChanged);
}

void HistoryModel::setDraggedPrimaryID(const std::optional<ItemID> &id)
{
    assign(m_draggedPrimaryID, id, &HistoryModel::draggedPrimaryIDChanged);
}

void HistoryModel::setIsDraggingItem(bool dragging)
{
    assign(m_isDraggingItem, dragging, &HistoryModel::isDraggingItemChanged);
}

// QML forms.

QVariant HistoryModel::selectedPinboardIDValue() const
{
    return optionalID(m_selectedPinboardID);
}

void HistoryModel::setSelectedPinboardIDValue(const QVariant &id)
{
    setSelectedPinboardID(idFromVariant(id));
}

QStringList HistoryModel::activeKindNames() const
{
    QStringList names;
    for (ClipKind kind : m_activeKinds)
        names << storedString(kind);
    return names;
}

QStringList HistoryModel::activeSourceBundleIDList() const
{
    return QStringList(m_activeSourceBundleIDs.begin(), m_activeSourceBundleIDs.end());
}

QVariantList HistoryModel::sourceAppList() const
{
    QVariantList list;
    for (const SourceApp &app : m_sourceApps) {
        list << QVariantMap {
            { QStringLiteral("bundleID"), app.bundleID }, { QStringLiteral("name"), app.name },
            { QStringLiteral("itemCount"), QVariant::fromValue(static_cast<qint64>(app.itemCount)) }
        };
    }
    return list;
}

QVariantList HistoryModel::markedIDList() const
{
    QVariantList list;
    for (ItemID id : m_markedIDs)
        list << QVariant::fromValue(static_cast<qint64>(id));
    return list;
}

QVariant HistoryModel::pasteTargetValue() const
{
    if (!m_pasteTarget)
        return {};
    return QVariantMap {
        { QStringLiteral("bundleIdentifier"),
            m_pasteTarget->bundleIdentifier ? QVariant(*m_pasteTarget->bundleIdentifier)
                                            : QVariant() },
        { QStringLiteral("localizedName"),
            m_pasteTarget->localizedName ? QVariant(*m_pasteTarget->localizedName) : QVariant() },
    };
}

QVariant HistoryModel::snippetErrorValue() const
{
    return m_snippetError ? QVariant(*m_snippetError) : QVariant();
}

QVariant HistoryModel::actionErrorValue() const
{
    return m_actionError ? QVariant(*m_actionError) : QVariant();
}

QVariant HistoryModel::cardRefusalValue() const
{
    if (!m_cardRefusal)
        return {};
    return QVariantMap {
        { QStringLiteral("itemID"),
            QVariant::fromValue(static_cast<qint64>(m_cardRefusal->itemID)) },
        { QStringLiteral("message"), m_cardRefusal->message },
    };
}

QVariant HistoryModel::departingItemIDValue() const
{
    return optionalID(m_departingItemID);
}

QVariant HistoryModel::recentlyFiledPinboardIDValue() const
{
    return optionalID(m_recentlyFiledPinboardID);
}

QVariantList HistoryModel::draggedItemIDList() const
{
    QVariantList list;
    for (ItemID id : m_draggedItemIDs)
        list << QVariant::fromValue(static_cast<qint64>(id));
    return list;
}

QVariant HistoryModel::draggedPrimaryIDValue() const
{
    return optionalID(m_draggedPrimaryID);
}

// The views' forms of the actions.

void HistoryModel::pasteItem(const QVariant &itemID)
{
    const std::optional<ItemID> id = idFromVariant(itemID);
    paste(id ? itemWithID(*id) : std::nullopt);
}

void HistoryModel::copyOnlyItem(const QVariant &itemID)
{
    const std::optional<ItemID> id = idFromVariant(itemID);
    copyOnly(id ? itemWithID(*id) : std::nullopt);
}

void HistoryModel::pasteAlternateItem(const QVariant &itemID)
{
    const std::optional<ItemID> id = idFromVariant(itemID);
    pasteAlternate(id ? itemWithID(*id) : std::nullopt);
}

void HistoryModel::deleteItemWithID(qint64 itemID)
{
    if (const std::optional<ClipItem> item = itemWithID(itemID))
        deleteItem(*item);
}

void HistoryModel::toggleFilingOf(qint64 itemID, qint64 pinboardID)
{
    if (const std::optional<ClipItem> item = itemWithID(itemID))
        toggleFiling(*item, pinboardID);
}

void HistoryModel::createPinboardNamed(const QString &name)
{
    createPinboard(name);
}

void HistoryModel::movePinboardTo(qint64 pinboardID, int position)
{
    movePinboard(pinboardID, position);
}

void HistoryModel::movePinboardByOffset(qint64 pinboardID, int offset)
{
    movePinboardBy(pinboardID, offset);
}

void HistoryModel::deletePinboardWithID(qint64 pinboardID)
{
    deletePinboard(pinboardID);
}

bool HistoryModel::createSnippetOn(
    const QString &text, const QString &trigger, const QVariant &pinboardID)
{
    return createSnippet(text, trigger, idFromVariant(pinboardID));
}

bool HistoryModel::updateSnippetOf(qint64 itemID, const QString &text, const QString &trigger)
{
    const std::optional<ClipItem> item = itemWithID(itemID);
    return item && updateSnippet(*item, text, trigger);
}

QVariantList HistoryModel::pinboardIDsOfItem(qint64 itemID) const
{
    QVariantList ids;
    try {
        for (const PinboardID id : m_store.pinboardIDs(itemID))
            ids << QVariant::fromValue(static_cast<qint64>(id));
    } catch (const std::exception &) {
        // No check marks: the menu still lets the user file the item.
    }
    return ids;
}

QVariant HistoryModel::selectItemNumber(int number)
{
    const std::optional<ClipItem> item = selectItem(number);
    return item ? QVariant::fromValue(static_cast<qint64>(item->id)) : QVariant();
}

bool HistoryModel::expandsSnippets() const
{
    return m_preferences.expandsSnippets();
}

QString HistoryModel::expansionPrefix() const
{
    return m_preferences.expansionPrefix();
}

} // namespace corvane
