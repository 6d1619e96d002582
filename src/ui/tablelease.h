#pragma once

#include <utility>

namespace marovex {

class MainWindow;

// The tables lent to a worker. While a lease lives the grids have let go of the tables and the commands
// that use them are disabled; when it ends (destroyed or released) the grids take them back, the commands
// return and a close asked for during the run happens. An empty lease holds nothing.
class TableLease {
public:
    TableLease() = default;
    TableLease(TableLease&& other) noexcept : m_window(std::exchange(other.m_window, nullptr)) {}
    TableLease& operator=(TableLease&& other) noexcept;
    TableLease(const TableLease&) = delete;
    TableLease& operator=(const TableLease&) = delete;
    ~TableLease() { release(); }

    explicit operator bool() const { return m_window != nullptr; }
    // Gives the tables back now; nothing when the lease is empty.
    void release();

private:
    friend class MainWindow;
    explicit TableLease(MainWindow* window) : m_window(window) {}
    MainWindow* m_window = nullptr;
};

} // namespace marovex
