// Move-only owners for Win32 resources, one type per handle kind, each with
// the invalid value its API uses (nullptr for most kernel handles,
// INVALID_HANDLE_VALUE for files and comm ports, INVALID_SOCKET for sockets).
#pragma once

#include <winsock2.h>
#include <windows.h>
#include <unknwn.h>

#include <utility>

namespace platform {

template <typename Traits>
class UniqueResource {
public:
    using Type = typename Traits::Type;

    UniqueResource() noexcept : m_value(Traits::Invalid()) {}
    explicit UniqueResource(Type value) noexcept : m_value(value) {}
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : m_value(other.Release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }
    ~UniqueResource() { Reset(); }

    Type Get() const noexcept { return m_value; }
    bool Valid() const noexcept { return m_value != Traits::Invalid(); }
    explicit operator bool() const noexcept { return Valid(); }

    // Gives up ownership without closing.
    Type Release() noexcept { return std::exchange(m_value, Traits::Invalid()); }

    void Reset(Type value = Traits::Invalid()) noexcept {
        Type old = std::exchange(m_value, value);
        if (old != Traits::Invalid()) {
            Traits::Close(old);
        }
    }

    // For APIs that return the handle through an out parameter.
    Type* Put() noexcept {
        Reset();
        return &m_value;
    }

private:
    Type m_value;
};

struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::CloseHandle(h); }
};

// Files, comm ports, snapshots: CreateFile and friends fail with INVALID_HANDLE_VALUE.
struct FileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { ::CloseHandle(h); }
};

struct MappedViewTraits {
    using Type = void*;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type p) noexcept { ::UnmapViewOfFile(p); }
};

struct RegKeyTraits {
    using Type = HKEY;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type k) noexcept { ::RegCloseKey(k); }
};

struct ModuleTraits {
    using Type = HMODULE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type m) noexcept { ::FreeLibrary(m); }
};

struct SocketTraits {
    using Type = SOCKET;
    static Type Invalid() noexcept { return INVALID_SOCKET; }
    static void Close(Type s) noexcept { ::closesocket(s); }
};

struct FindFileTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { ::FindClose(h); }
};

struct GdiObjectTraits {
    using Type = HGDIOBJ;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::DeleteObject(h); }
};

using UniqueHandle = UniqueResource<KernelHandleTraits>;
using UniqueFile = UniqueResource<FileHandleTraits>;
using UniqueView = UniqueResource<MappedViewTraits>;
using UniqueRegKey = UniqueResource<RegKeyTraits>;
using UniqueModule = UniqueResource<ModuleTraits>;
using UniqueSocket = UniqueResource<SocketTraits>;
using UniqueFindHandle = UniqueResource<FindFileTraits>;
using UniqueGdiObject = UniqueResource<GdiObjectTraits>;

// Reference-counted COM interface owner.
template <typename T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(std::nullptr_t) noexcept {}
    // Takes over a reference the caller already holds.
    static ComPtr Attach(T* p) noexcept {
        ComPtr c;
        c.m_ptr = p;
        return c;
    }
    ComPtr(const ComPtr& other) noexcept : m_ptr(other.m_ptr) {
        if (m_ptr)
            m_ptr->AddRef();
    }
    ComPtr(ComPtr&& other) noexcept : m_ptr(std::exchange(other.m_ptr, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(m_ptr, other.m_ptr);
        return *this;
    }
    ~ComPtr() { Reset(); }

    T* Get() const noexcept { return m_ptr; }
    T* operator->() const noexcept { return m_ptr; }
    explicit operator bool() const noexcept { return m_ptr != nullptr; }
    void Reset() noexcept {
        if (T* p = std::exchange(m_ptr, nullptr))
            p->Release();
    }
    T** Put() noexcept {
        Reset();
        return &m_ptr;
    }
    void** PutVoid() noexcept { return reinterpret_cast<void**>(Put()); }

    template <typename U>
    ComPtr<U> As(REFIID iid) const noexcept {
        ComPtr<U> out;
        if (m_ptr)
            m_ptr->QueryInterface(iid, out.PutVoid());
        return out;
    }

private:
    T* m_ptr = nullptr;
};

// CoInitializeEx/CoUninitialize pair for one thread.
class ComApartment {
public:
    explicit ComApartment(DWORD model = COINIT_APARTMENTTHREADED) noexcept
        : m_ok(SUCCEEDED(::CoInitializeEx(nullptr, model))) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() {
        if (m_ok)
            ::CoUninitialize();
    }
    bool Ok() const noexcept { return m_ok; }

private:
    bool m_ok;
};

}  // namespace platform
