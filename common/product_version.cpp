#include "common/product_version.h"

std::wstring NormalizeVersionText(std::wstring_view text) {
    std::wstring out;
    out.reserve(text.size());
    for (wchar_t c : text) {
        if (c == L' ')
            continue;
        out.push_back(c == L',' ? L'.' : c);
    }
    return out;
}
