#pragma once

#include <utility>

namespace marovex {

class CatalogueService;

// The tables lent to a worker (`CatalogueService::leaseTables`). While a lease lives the grids have let go
// of the tables and the commands that use them are disabled; when it ends (destroyed or released) the grids
// take them back, the commands return and a close asked for during the run happens. An empty lease holds
// nothing.
class TableLease {
public:
    TableLease() = default;
    TableLease(TableLease&& other) noexcept : m_owner(std::exchange(other.m_owner, nullptr)) {}
    TableLease& operator=(TableLease&& other) noexcept;
    TableLease(const TableLease&) = delete;
    TableLease& operator=(const TableLease&) = delete;
    ~TableLease() { release(); }

    explicit operator bool() const { return m_owner != nullptr; }
    // Gives the tables back now; nothing when the lease is empty.
    void release();

private:
    friend class CatalogueService;
    explicit TableLease(CatalogueService* owner) : m_owner(owner) {}
    CatalogueService* m_owner = nullptr;
};

} // namespace marovex
