// GDI wrappers of the framework.
#include "kfw/gdi.h"

#include "kfw/app.h"
#include "system_library.h"

#include <commctrl.h>

CGdiObject& CGdiObject::operator=(CGdiObject&& other) noexcept {
    if (this != &other) {
        DeleteObject();
        m_hObject = other.Detach();
    }
    return *this;
}

BOOL CGdiObject::Attach(HGDIOBJ object) {
    if (m_hObject || !object) return FALSE;
    m_hObject = object;
    return TRUE;
}

HGDIOBJ CGdiObject::Detach() {
    HGDIOBJ object = m_hObject;
    m_hObject = nullptr;
    return object;
}

BOOL CGdiObject::DeleteObject() {
    if (!m_hObject) return FALSE;
    const BOOL deleted = ::DeleteObject(m_hObject);
    m_hObject = nullptr;
    return deleted;
}

BOOL CPalette::CreatePalette(const LOGPALETTE* logicalPalette) {
    return Attach(::CreatePalette(logicalPalette));
}

HBITMAP AfxLoadSysColorBitmap(HINSTANCE instance, UINT bitmapId) {
    using CreateMappedBitmapProc = HBITMAP(WINAPI*)(HINSTANCE, INT_PTR, UINT, LPCOLORMAP, int);
    // GetProcAddress knows no signature; void(*)() is the neutral step between.
    const auto create = reinterpret_cast<CreateMappedBitmapProc>(
        reinterpret_cast<void (*)()>(CommonControlsFunction("CreateMappedBitmap")));
    // Without a colour map the four standard button colours are mapped.
    return create ? create(instance, static_cast<INT_PTR>(bitmapId), 0, nullptr, 0) : nullptr;
}
