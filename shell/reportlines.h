#pragma once
// The report view's lines as bytes, oldest first, in a ring whose strings keep their storage:
// a long run appends and drops hundreds of thousands of lines without allocating for each.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

class CReportLines {
  public:
    size_t Size() const { return m_nCount; }
    bool Empty() const { return m_nCount == 0; }
    // Line i, counted from the oldest.
    const std::string& operator[](size_t i) const {
        return m_lines[(m_nFirst + i) % m_lines.size()];
    }
    const std::string& Front() const { return (*this)[0]; }

    void PushBack(std::string_view line);
    void PopFront();
    void Clear();

  private:
    std::vector<std::string> m_lines;
    size_t m_nFirst = 0;
    size_t m_nCount = 0;
};
