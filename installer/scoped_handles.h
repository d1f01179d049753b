// Owners of every handle the installer holds: each releases its handle when it
// goes, moves but never copies, and hands it over only through Detach().
#pragma once

#include <windows.h>
#include <objbase.h>

// The one shape of every owner below: `Traits` says what the handle is, which
// values mean "none" and how it is released.
template <class Traits>
class Owned {
public:
    using Handle = typename Traits::Handle;

    Owned() = default;
    explicit Owned(Handle handle) : handle_(handle) {}
    ~Owned() { Close(); }
    Owned(Owned&& other) noexcept : handle_(other.Detach()) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) {
            Close();
            handle_ = other.Detach();
        }
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;

    Handle Get() const { return handle_; }
    explicit operator bool() const { return Traits::Valid(handle_); }
    Handle Detach() {
        Handle handle = handle_;
        handle_ = nullptr;
        return handle;
    }
    void Close() {
        if (Traits::Valid(handle_)) Traits::Release(handle_);
        handle_ = nullptr;
    }

protected:
    // For the calls that fill in a handle: the previous one goes first.
    Handle* Receive() {
        Close();
        return &handle_;
    }

private:
    Handle handle_ = nullptr;
};

struct KernelHandleTraits {
    using Handle = HANDLE;
    // Null and INVALID_HANDLE_VALUE are the two ways the system says "none".
    static bool Valid(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
    static void Release(HANDLE handle) { CloseHandle(handle); }
};

// A kernel handle closed with CloseHandle: a file, process, thread, mutex or
// access token.
using KernelHandle = Owned<KernelHandleTraits>;

struct RegKeyTraits {
    using Handle = HKEY;
    static bool Valid(HKEY key) { return key != nullptr; }
    static void Release(HKEY key) { RegCloseKey(key); }
};

// An open registry key.
class RegKey : public Owned<RegKeyTraits> {
public:
    LONG Open(HKEY root, const char* path, REGSAM access) {
        return RegOpenKeyExA(root, path, 0, access, Receive());
    }
    // Creates the key and any missing keys above it, or opens it.
    LONG Create(HKEY root, const char* path, char* keyClass, REGSAM access) {
        DWORD disposition = 0;
        return RegCreateKeyExA(root, path, 0, keyClass, REG_OPTION_NON_VOLATILE, access, nullptr, Receive(),
                               &disposition);
    }
};

template <class Interface>
struct ComPtrTraits {
    using Handle = Interface*;
    static bool Valid(Interface* pointer) { return pointer != nullptr; }
    static void Release(Interface* pointer) { pointer->Release(); }
};

// A COM interface pointer, released when it goes.
template <class Interface>
class ComPtr : public Owned<ComPtrTraits<Interface>> {
public:
    Interface* operator->() const { return this->Get(); }
    // For CoCreateInstance and QueryInterface.
    void** ReceiveInterface() { return reinterpret_cast<void**>(this->Receive()); }
};

// The component library, initialised for the owner's life.
class ComLibrary {
public:
    ComLibrary() : initialised_(SUCCEEDED(CoInitialize(nullptr))) {}
    ~ComLibrary() {
        if (initialised_) CoUninitialize();
    }
    ComLibrary(const ComLibrary&) = delete;
    ComLibrary& operator=(const ComLibrary&) = delete;

private:
    bool initialised_;
};

// A memory device context.
class ScopedMemoryDC {
public:
    explicit ScopedMemoryDC(HDC compatibleWith) : dc_(CreateCompatibleDC(compatibleWith)) {}
    ~ScopedMemoryDC() {
        if (dc_) DeleteDC(dc_);
    }
    ScopedMemoryDC(const ScopedMemoryDC&) = delete;
    ScopedMemoryDC& operator=(const ScopedMemoryDC&) = delete;

    HDC Get() const { return dc_; }

private:
    HDC dc_;
};

// An object selected into a device context; the previous one comes back.
class ScopedSelectObject {
public:
    ScopedSelectObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~ScopedSelectObject() {
        if (previous_) SelectObject(dc_, previous_);
    }
    ScopedSelectObject(const ScopedSelectObject&) = delete;
    ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// The painting of one WM_PAINT.
class ScopedPaint {
public:
    explicit ScopedPaint(HWND window) : window_(window), paint_(), dc_(BeginPaint(window, &paint_)) {}
    ~ScopedPaint() { EndPaint(window_, &paint_); }
    ScopedPaint(const ScopedPaint&) = delete;
    ScopedPaint& operator=(const ScopedPaint&) = delete;

    HDC Get() const { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT paint_;
    HDC dc_;
};
