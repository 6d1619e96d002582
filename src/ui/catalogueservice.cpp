#include "ui/catalogueservice.h"

namespace marovex {

CatalogueService::CatalogueService(std::filesystem::path appDir, QObject* parent)
    : QObject(parent), m_session(std::move(appDir), [this](const std::string& text) {
          emit tableReport(QString::fromStdString(text));
      }) {}

TableLease CatalogueService::leaseTables() {
    if (m_lent) return {};
    m_lent = true;
    RecordTable& articles = m_session.articles();
    const bool filterOff = articles.filtered();
    if (filterOff) articles.setFiltered(false);
    articles.disableControls();
    m_session.topics().disableControls();
    emit tablesLent(filterOff);
    return TableLease(this);
}

void CatalogueService::giveBack() {
    RecordTable& articles = m_session.articles();
    if (articles.controlsDisabled()) articles.enableControls();
    if (m_session.topics().controlsDisabled()) m_session.topics().enableControls();
    m_lent = false;
    emit tablesReturned();
}

TableLease& TableLease::operator=(TableLease&& other) noexcept {
    if (this != &other) {
        release();
        m_owner = std::exchange(other.m_owner, nullptr);
    }
    return *this;
}

void TableLease::release() {
    if (CatalogueService* owner = std::exchange(m_owner, nullptr)) owner->giveBack();
}

} // namespace marovex
