#pragma once

#include "app/mainsession.h"
#include "ui/tablelease.h"

#include <QObject>

#include <atomic>
#include <filesystem>

namespace marovex {

// The catalogue behind the main window: the session (its tables, settings and texts), the stop flag
// shared by the jobs, and the tables lent to one job at a time. The window reacts to its signals.
class CatalogueService final : public QObject {
    Q_OBJECT
public:
    explicit CatalogueService(std::filesystem::path appDir, QObject* parent = nullptr);

    MainSession& session() { return m_session; }
    const MainSession& session() const { return m_session; }
    // One stop flag for indexing and the full-text search; false whenever no job runs.
    std::atomic<bool>& stopFlag() { return m_stop; }
    bool isLent() const { return m_lent; }
    // Lends the tables to a job for as long as the lease lives. A run sees every row, so the topic filter
    // goes off; the tables' controls are disabled. Empty, changing nothing, when they are lent already.
    TableLease leaseTables();

signals:
    // Emitted once lending has begun and once the tables are back, before anything else happens.
    void tablesLent(bool filterSwitchedOff);
    void tablesReturned();
    // What the article table reports while it is open, a store it refused for one.
    void tableReport(const QString& text);

private:
    friend class TableLease;
    void giveBack();

    MainSession m_session;
    std::atomic<bool> m_stop{false};
    bool m_lent = false;
};

} // namespace marovex
