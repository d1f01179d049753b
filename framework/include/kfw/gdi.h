// GDI wrappers of the framework: objects owned by their wrapper and deleted
// with it, and bitmaps loaded in the system's button colours.
#pragma once

#include <windows.h>

class CGdiObject {
public:
    CGdiObject() noexcept : m_hObject(nullptr) {}
    virtual ~CGdiObject() { DeleteObject(); }
    CGdiObject(CGdiObject&& other) noexcept : m_hObject(other.Detach()) {}
    CGdiObject& operator=(CGdiObject&& other) noexcept;
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;

    HGDIOBJ GetSafeHandle() const { return m_hObject; }
    // Takes ownership; FALSE when a handle is already attached or `object` is null.
    BOOL Attach(HGDIOBJ object);
    HGDIOBJ Detach();
    BOOL DeleteObject();

    HGDIOBJ m_hObject;
};

class CPalette : public CGdiObject {
public:
    CPalette() noexcept = default;
    BOOL CreatePalette(const LOGPALETTE* logicalPalette);
    operator HPALETTE() const { return static_cast<HPALETTE>(m_hObject); }
};

// A bitmap resource (16 or 256 colours) with black, dark grey, light grey and
// white mapped to the current button text, shadow, face and highlight colours.
// The caller owns it.
HBITMAP AfxLoadSysColorBitmap(HINSTANCE instance, UINT bitmapId);
