#include "Berthkeep/MenuBar/DriveListSection.hpp"

#include <QCollator>
#include <QLocale>
#include <QMenu>
#include <QVBoxLayout>

#include <algorithm>
#include <map>

#include "Berthkeep/MenuBar/DriveGroupCard.hpp"
#include "Berthkeep/MenuBar/MenuBarLayout.hpp"

namespace berthkeep {

namespace {

using RowsByID = std::map<std::string, const DriveRowState*>;

RowsByID rowsByID(const std::vector<DriveRowState>& drives) {
    RowsByID byID;
    for (const DriveRowState& row : drives) {
        byID.emplace(row.id, &row); // the first row wins should an id repeat
    }
    return byID;
}

std::vector<DriveRowState> rowsOf(const DriveGroupState& group, const RowsByID& byID) {
    std::vector<DriveRowState> rows;
    for (const std::string& id : group.driveIDs) {
        if (const auto found = byID.find(id); found != byID.end()) {
            rows.push_back(*found->second);
        }
    }
    return rows;
}

// Case-insensitive, digits by value: "Disk 2" before "Disk 10".
QCollator labelCollator() {
    // Qt's C-locale collator compares code points and ignores both settings,
    // and C is what a bare environment (LANG=C.UTF-8) gives.
    QLocale locale;
    if (locale.language() == QLocale::C) {
        locale = QLocale(QLocale::English);
    }
    QCollator collator(locale);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    return collator;
}

} // namespace

DriveStatus DriveListSection::aggregateStatus(const std::vector<DriveRowState>& rows) {
    const auto most = std::min_element(rows.begin(), rows.end(),
                                       [](const DriveRowState& a, const DriveRowState& b) {
                                           return sortPriority(a.status) < sortPriority(b.status);
                                       });
    return most == rows.end() ? DriveStatus::safe : most->status;
}

MenuBarPalette::Color DriveListSection::statusColor(DriveStatus status) {
    switch (status) {
    case DriveStatus::connected:
        return &MenuBarPalette::connectedStatus;
    case DriveStatus::safe:
    case DriveStatus::notMounted:
        return &MenuBarPalette::safeStatus;
    case DriveStatus::busy:
        return &MenuBarPalette::busyStatus;
    case DriveStatus::ejecting:
        return &MenuBarPalette::ejectingStatus;
    case DriveStatus::mounting:
        return &MenuBarPalette::mountingStatus;
    case DriveStatus::excluded:
        return &MenuBarPalette::excludedStatus;
    }
    return &MenuBarPalette::safeStatus;
}

MenuBarPalette::Color DriveListSection::indicatorColor(DriveStatus status) {
    switch (status) {
    case DriveStatus::connected:
        return &MenuBarPalette::connectedIndicator;
    case DriveStatus::safe:
        return &MenuBarPalette::safeIndicator;
    case DriveStatus::busy:
        return &MenuBarPalette::busyIndicator;
    case DriveStatus::ejecting:
        return &MenuBarPalette::ejectingIndicator;
    case DriveStatus::mounting:
        return &MenuBarPalette::mountingIndicator;
    case DriveStatus::notMounted:
        return &MenuBarPalette::notMountedIndicator;
    case DriveStatus::excluded:
        return &MenuBarPalette::excludedIndicator;
    }
    return &MenuBarPalette::safeIndicator;
}

bool DriveListSection::prefersSimplifiedRows(const std::vector<DriveRowState>& drives) {
    return std::none_of(drives.begin(), drives.end(), [](const DriveRowState& row) {
        return row.statusVisibility == DriveStatusVisibility::activity;
    });
}

std::vector<DriveGroupState>
DriveListSection::orderedGroups(const std::vector<DriveRowState>& drives,
                                const std::vector<DriveGroupState>& groups) {
    const RowsByID byID = rowsByID(drives);
    const QCollator collator = labelCollator();

    struct Entry {
        DriveGroupState group;
        int priority;
        QString label;
    };
    std::vector<Entry> entries;
    for (const DriveGroupState& group : groups) {
        const auto rows = rowsOf(group, byID);
        if (rows.empty()) {
            continue;
        }
        const std::string label = group.title.value_or(rows.front().name);
        entries.push_back(
            {group, sortPriority(aggregateStatus(rows)), QString::fromStdString(label)});
    }
    if (entries.empty()) {
        for (const DriveRowState& row : drives) {
            entries.push_back({DriveGroupState{row.id, std::nullopt, {row.id}},
                               sortPriority(row.status), QString::fromStdString(row.name)});
        }
    }
    std::stable_sort(entries.begin(), entries.end(), [&collator](const Entry& a, const Entry& b) {
        if (a.priority != b.priority) {
            return a.priority < b.priority;
        }
        return collator.compare(a.label, b.label) < 0;
    });
    std::vector<DriveGroupState> ordered;
    ordered.reserve(entries.size());
    for (Entry& entry : entries) {
        ordered.push_back(std::move(entry.group));
    }
    return ordered;
}

DriveListSection::DriveListSection(const std::vector<DriveRowState>& drives,
                                   const std::vector<DriveGroupState>& groups,
                                   const std::vector<DriveAction>& actions, bool isWorking,
                                   ActionCallback onAction, GroupActionCallback onGroupAction,
                                   QWidget* parent)
    : QWidget(parent)
    , m_onAction(std::move(onAction))
    , m_onGroupAction(std::move(onGroupAction)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(MenuBarLayout::driveGroupSpacing);
    setState(drives, groups, actions, isWorking);
}

std::vector<DriveGroupCard*> DriveListSection::cards() const {
    return m_cards;
}

void DriveListSection::setMenuWithdrawnHandler(std::function<void()> handler) {
    m_onMenuWithdrawn = std::move(handler);
}

bool DriveListSection::hasOpenMenu() const {
    return std::any_of(m_cards.begin(), m_cards.end(), [](const DriveGroupCard* card) {
        return card->openMenu() != nullptr && card->openMenu()->isVisible();
    });
}

void DriveListSection::passFocusOn(const DriveGroupCard& leaving,
                                   const std::vector<DriveGroupCard*>& next) {
    // Also while the panel is closed: the card it would open on.
    if (!leaving.hasFocus() && window()->focusWidget() != &leaving) {
        return;
    }
    const auto at = std::find(m_cards.begin(), m_cards.end(), &leaving) - m_cards.begin();
    if (!next.empty()) {
        const auto heir = std::min<std::size_t>(static_cast<std::size_t>(at), next.size() - 1);
        next[heir]->setFocus(Qt::OtherFocusReason);
    } else {
        window()->setFocus(Qt::OtherFocusReason);
    }
}

void DriveListSection::setState(const std::vector<DriveRowState>& drives,
                                const std::vector<DriveGroupState>& groups,
                                const std::vector<DriveAction>& actions, bool isWorking) {
    std::map<std::string, DriveAction> actionByDriveID;
    for (const DriveAction& action : actions) {
        actionByDriveID.emplace(action.driveID, action);
    }
    const RowsByID byID = rowsByID(drives);
    const bool simplified = prefersSimplifiedRows(drives);
    const bool menuWasOpen = hasOpenMenu();
    m_isWorking = isWorking;

    std::map<std::string, DriveGroupCard*> previous;
    for (DriveGroupCard* card : m_cards) {
        previous.emplace(card->group().id, card);
    }
    std::vector<DriveGroupCard*> next;
    for (const DriveGroupState& group : orderedGroups(drives, groups)) {
        if (const auto found = previous.find(group.id); found != previous.end()) {
            found->second->setContent(group, rowsOf(group, byID), actionByDriveID, simplified,
                                      !isWorking);
            next.push_back(found->second);
            previous.erase(found);
        } else {
            next.push_back(new DriveGroupCard(
                group, rowsOf(group, byID), actionByDriveID, simplified, !isWorking,
                [this](DriveAction::Kind kind, const std::string& id) {
                    chooseDriveAction(kind, id);
                },
                [this](DriveGroupActionKind kind, const std::string& id) {
                    chooseGroupAction(kind, id);
                },
                this));
        }
    }

    auto* box = static_cast<QVBoxLayout*>(layout());
    for (auto& [id, card] : previous) {
        passFocusOn(*card, next);
        // Hidden and closed now, deleted once whatever event reached it is done.
        card->hide();
        box->removeWidget(card);
        card->deleteLater();
    }
    if (next != m_cards) {
        for (std::size_t index = 0; index < next.size(); ++index) {
            if (box->indexOf(next[index]) != static_cast<int>(index)) {
                box->removeWidget(next[index]);
                box->insertWidget(static_cast<int>(index), next[index]);
            }
        }
    }
    m_cards = std::move(next);
    m_actionByDriveID = std::move(actionByDriveID);
    if (menuWasOpen && !hasOpenMenu() && m_onMenuWithdrawn) {
        m_onMenuWithdrawn();
    }
}

void DriveListSection::chooseDriveAction(DriveAction::Kind kind, const std::string& driveID) const {
    const auto found = m_actionByDriveID.find(driveID);
    const bool offered = !m_isWorking && found != m_actionByDriveID.end() &&
                         found->second.isEnabled && found->second.kind == kind;
    if (offered && m_onAction) {
        m_onAction(kind, driveID);
    }
}

void DriveListSection::chooseGroupAction(DriveGroupActionKind kind,
                                         const std::string& groupID) const {
    const bool offered =
        !m_isWorking && std::any_of(m_cards.begin(), m_cards.end(), [&](DriveGroupCard* card) {
            return card->group().id == groupID && card->groupAction() == kind;
        });
    if (offered && m_onGroupAction) {
        m_onGroupAction(kind, groupID);
    }
}

} // namespace berthkeep
