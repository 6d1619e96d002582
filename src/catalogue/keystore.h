#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace marovex::detail {

// Collation keys of one field, by row slot, packed into one buffer: a quarter of the memory of one string per
// key, and sorting reads them with far fewer cache misses.
class KeyStore {
public:
    bool built() const { return m_built; }
    void clear() {
        m_bytes.clear();
        m_offset.clear();
        m_length.clear();
        m_garbage = 0;
        m_built = false;
    }
    void markBuilt() { m_built = true; }

    std::string_view at(std::uint32_t slot) const { return {m_bytes.data() + m_offset[slot], m_length[slot]}; }
    void push(std::string_view key) {
        m_offset.push_back(std::uint32_t(m_bytes.size()));
        m_length.push_back(std::uint32_t(key.size()));
        m_bytes.insert(m_bytes.end(), key.begin(), key.end());
    }
    void set(std::uint32_t slot, std::string_view key) {
        if (key.size() <= m_length[slot]) {
            std::copy(key.begin(), key.end(), m_bytes.begin() + m_offset[slot]);
            m_garbage += m_length[slot] - key.size();
        } else {
            m_garbage += m_length[slot];
            m_offset[slot] = std::uint32_t(m_bytes.size());
            m_bytes.insert(m_bytes.end(), key.begin(), key.end());
        }
        m_length[slot] = std::uint32_t(key.size());
        if (m_garbage > 4096 && m_garbage > m_bytes.size() / 2) compact();
    }
    // Appends another store's keys after this one's (slots continue where this one ends).
    void append(const KeyStore& other) {
        const auto base = std::uint32_t(m_bytes.size());
        m_bytes.insert(m_bytes.end(), other.m_bytes.begin(), other.m_bytes.end());
        for (size_t i = 0; i < other.m_offset.size(); ++i) {
            m_offset.push_back(base + other.m_offset[i]);
            m_length.push_back(other.m_length[i]);
        }
        m_garbage += other.m_garbage;
    }
    void reserve(size_t slots, size_t bytes) {
        m_offset.reserve(slots);
        m_length.reserve(slots);
        m_bytes.reserve(bytes);
    }

private:
    void compact() {
        std::vector<char> packed;
        packed.reserve(m_bytes.size() - m_garbage);
        for (size_t i = 0; i < m_offset.size(); ++i) {
            const auto from = m_bytes.begin() + m_offset[i];
            m_offset[i] = std::uint32_t(packed.size());
            packed.insert(packed.end(), from, from + m_length[i]);
        }
        m_bytes.swap(packed);
        m_garbage = 0;
    }

    std::vector<char> m_bytes;
    std::vector<std::uint32_t> m_offset;
    std::vector<std::uint32_t> m_length;
    size_t m_garbage = 0;
    bool m_built = false;
};

} // namespace marovex::detail
