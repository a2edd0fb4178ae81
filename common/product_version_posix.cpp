// The portable build has no version resources.
#include "common/product_version.h"

std::wstring GetProductVersion() {
    return {};
}

std::wstring ReadFixedProductVersion(std::wstring_view, std::wstring_view) {
    return {};
}

std::wstring ReadProductVersionOf(std::wstring_view) {
    return {};
}
