// Version resources through the version information API.
#include <windows.h>

#include <cwchar>
#include <vector>

#include "common/product_version.h"

namespace {

std::wstring ModulePath(std::wstring_view modulePath) {
    if (!modulePath.empty())
        return std::wstring(modulePath);
    wchar_t path[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, n);
}

// The file's whole version information block; empty when it has none.
std::vector<BYTE> VersionBlock(const std::wstring& path) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0)
        return {};
    std::vector<BYTE> block(size, 0);
    if (!::GetFileVersionInfoW(path.c_str(), 0, size, block.data()))
        return {};
    return block;
}

std::wstring QueryText(std::vector<BYTE>& block, const std::wstring& query) {
    void* value = nullptr;
    UINT chars = 0;
    if (!::VerQueryValueW(block.data(), query.c_str(), &value, &chars) || !value || chars == 0)
        return {};
    // The length counts the terminator when there is one; never read past it.
    const wchar_t* text = static_cast<const wchar_t*>(value);
    return std::wstring(text, ::wcsnlen(text, chars));
}

}  // namespace

std::wstring ReadProductVersionOf(std::wstring_view modulePath) {
    std::vector<BYTE> block = VersionBlock(ModulePath(modulePath));
    if (block.empty())
        return {};
    struct Translation {
        WORD language;
        WORD codePage;
    };
    void* value = nullptr;
    UINT bytes = 0;
    if (!::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &bytes) || !value ||
        bytes < sizeof(Translation))
        return {};
    const Translation first = *static_cast<const Translation*>(value);
    wchar_t query[64] = {};
    ::swprintf(query, 64, L"\\StringFileInfo\\%04x%04x\\ProductVersion", first.language,
               first.codePage);
    return NormalizeVersionText(QueryText(block, query));
}

std::wstring GetProductVersion() {
    return ReadProductVersionOf({});
}

std::wstring ReadFixedProductVersion(std::wstring_view queryPath, std::wstring_view modulePath) {
    std::vector<BYTE> block = VersionBlock(ModulePath(modulePath));
    if (block.empty())
        return {};
    return NormalizeVersionText(QueryText(block, std::wstring(queryPath)));
}
