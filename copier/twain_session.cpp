// The scanner session: the TWAIN source manager loaded at run time, one source
// behind it, its events taken from the message loop, native image transfers
// handed to the owner window, and the capability negotiation of a scan.
#include "twain_session.h"

#include <climits>
#include <cmath>
#include <cstring>

#include "handles.h"

namespace {

// String resource holding the manager's file name; the name itself stands in
// when the program carries no such string (a test program, say).
const UINT kManagerNameStringId = 1024;
const char kManagerName[] = "TWAIN_32.DLL";
const UINT kWindowsDirectorySize = 160;
#ifdef _WIN64
// The Working Group's TWAINDSM.DLL exports DSM_Entry by name only; the
// ordinal 1 of the 32-bit managers is no promise there.
const LPCSTR kEntryPoint = "DSM_Entry";
#else
const LPCSTR kEntryPoint = MAKEINTRESOURCEA(1);
#endif

// The largest number of values a resolution range is walked through; a range
// with a step too fine for it is cut short rather than walked for minutes.
const unsigned kMaxRangeSteps = 1u << 20;

// Container sizes handed to a source with MSG_SET.
const SIZE_T kOneValueSize = sizeof(TW_ONEVALUE);
const SIZE_T kFrameContainerSize = sizeof(TW_ONEVALUE) + sizeof(TW_FRAME);

// Offsets inside the standard's containers (2-byte packed records).
const SIZE_T kOneValueItem = 2;
const SIZE_T kEnumNumItems = 2;
const SIZE_T kEnumCurrentIndex = 6;
const SIZE_T kEnumItemList = 14;
const SIZE_T kRangeMin = 2;
const SIZE_T kRangeMax = 6;
const SIZE_T kRangeStep = 10;
const SIZE_T kRangeCurrent = 18;
const SIZE_T kRangeSize = 22;

// A container the source returned, locked, read only inside its own size.
class CContainerView {
public:
    explicit CContainerView(HGLOBAL container)
        : m_lock(container), m_size(m_lock ? GlobalSize(container) : 0) {}
    bool Valid() const { return m_lock.Get() != nullptr; }
    bool Has(SIZE_T offset, SIZE_T bytes) const {
        return Valid() && offset <= m_size && bytes <= m_size - offset;
    }
    template <class T>
    bool Read(SIZE_T offset, T* value) const {
        if (!Has(offset, sizeof(T))) return false;
        std::memcpy(value, static_cast<const BYTE*>(m_lock.Get()) + offset, sizeof(T));
        return true;
    }

private:
    GlobalLockGuard<> m_lock;
    SIZE_T m_size;
};

SIZE_T ItemSize(TW_UINT16 itemType) {
    switch (itemType) {
    case TWTY_INT8: case TWTY_UINT8: return 1;
    case TWTY_INT16: case TWTY_UINT16: case TWTY_BOOL: return 2;
    case TWTY_INT32: case TWTY_UINT32: case TWTY_FIX32: return 4;
    case TWTY_FRAME: return sizeof(TW_FRAME);
    default: return 0;
    }
}

// Where the value "in effect" sits: the item of a one value, the current item
// of an enumeration, the current value of a range.
bool CurrentItemOffset(const CContainerView& view, TW_UINT16 conType, SIZE_T* offset) {
    switch (conType) {
    case TWON_ONEVALUE:
        *offset = kOneValueItem;
        return true;
    case TWON_RANGE:
        *offset = kRangeCurrent;
        return true;
    case TWON_ENUMERATION: {
        TW_UINT16 itemType = 0;
        TW_UINT32 count = 0, current = 0;
        if (!view.Read(0, &itemType) || !view.Read(kEnumNumItems, &count) ||
            !view.Read(kEnumCurrentIndex, &current) || current >= count)
            return false;
        const SIZE_T size = ItemSize(itemType);
        if (size == 0) return false;
        *offset = kEnumItemList + static_cast<SIZE_T>(current) * size;
        return true;
    }
    default:
        return false;
    }
}

template <class T>
bool ReadCurrentItem(HGLOBAL container, TW_UINT16 conType, T* value) {
    CContainerView view(container);
    SIZE_T offset = 0;
    return CurrentItemOffset(view, conType, &offset) && view.Read(offset, value);
}

// Distances compare in double precision on single-precision candidates.
double Distance(float value, float target) {
    return std::fabs(static_cast<double>(value) - static_cast<double>(target));
}

// The enumeration's items in order; the first is the initial best and only a
// strictly closer item replaces it, so of two at equal distance the earlier wins.
bool NearestInEnumeration(const CContainerView& view, float target, float* best) {
    TW_UINT16 itemType = 0;
    TW_UINT32 count = 0;
    if (!view.Read(0, &itemType) || itemType != TWTY_FIX32 || !view.Read(kEnumNumItems, &count))
        return false;
    bool found = false;
    for (TW_UINT32 i = 0; i < count; ++i) {
        TW_FIX32 item;
        if (!view.Read(kEnumItemList + static_cast<SIZE_T>(i) * sizeof(TW_FIX32), &item)) break;
        const float value = CTwainSession::Fix32ToFloat(item);
        if (!found || Distance(value, target) < Distance(*best, target)) *best = value;
        found = true;
    }
    return found;
}

// Walks MinValue, MinValue + StepSize, ... up to MaxValue. Each value is held in
// single precision, but the test against MaxValue is made on the sum before it
// is narrowed. The walk stops early once it has passed the target (every later
// value is farther away), when the step no longer moves the single-precision
// value, and after kMaxRangeSteps values; a step of zero or less offers MinValue
// alone. A range whose MinValue exceeds MaxValue offers nothing.
bool NearestInRange(const CContainerView& view, float target, float* best) {
    TW_UINT16 itemType = 0;
    TW_FIX32 minimum, maximum, step;
    if (!view.Has(0, kRangeSize) || !view.Read(0, &itemType) || itemType != TWTY_FIX32 ||
        !view.Read(kRangeMin, &minimum) || !view.Read(kRangeMax, &maximum) ||
        !view.Read(kRangeStep, &step))
        return false;
    const float low = CTwainSession::Fix32ToFloat(minimum);
    const float high = CTwainSession::Fix32ToFloat(maximum);
    const float increment = CTwainSession::Fix32ToFloat(step);
    if (low > high) return false;

    float value = low;
    *best = value;
    if (increment <= 0) return true;
    for (unsigned n = 1; n < kMaxRangeSteps && value < target; ++n) {
        const double sum = static_cast<double>(value) + increment;
        if (!(sum <= high)) break;
        const float next = static_cast<float>(sum);
        if (!(next > value)) break;
        value = next;
        if (Distance(value, target) < Distance(*best, target)) *best = value;
    }
    return true;
}

LONG TruncateToLong(double value) {
    if (std::isnan(value)) return 0;
    if (value >= static_cast<double>(LONG_MAX)) return LONG_MAX;
    if (value <= static_cast<double>(LONG_MIN)) return LONG_MIN;
    return static_cast<LONG>(value);  // toward zero
}

float RoundHalfUp(double value) { return static_cast<float>(std::floor(0.5 + value)); }

bool PixelTypeOfMode(int mode, TW_UINT16* pixelType) {
    switch (mode) {
    case 0: *pixelType = TWPT_RGB; return true;
    case 1: *pixelType = TWPT_GRAY; return true;
    case 2: *pixelType = TWPT_BW; return true;
    default: return false;
    }
}

// "C:\WINDOWS" + "\" + name, stepping back over the last character the
// multibyte way so that a trail byte 0x5C is not taken for a separator.
bool JoinPath(char* path, SIZE_T size, const char* directory, const char* name) {
    const SIZE_T length = std::strlen(directory);
    const bool endsWithSeparator =
        length > 0 && *CharPrevA(directory, directory + length) == '\\' &&
        CharPrevA(directory, directory + length) == directory + length - 1;
    const SIZE_T needed = length + (endsWithSeparator ? 0 : 1) + std::strlen(name) + 1;
    if (needed > size) return false;
    std::memcpy(path, directory, length);
    SIZE_T at = length;
    if (!endsWithSeparator) path[at++] = '\\';
    std::memcpy(path + at, name, std::strlen(name) + 1);
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// The system's loader.

UINT CTwainLibrary::WindowsDirectory(char* buffer, UINT size) const {
    return GetWindowsDirectoryA(buffer, size);
}

UINT CTwainLibrary::SystemDirectory(char* buffer, UINT size) const {
    return GetSystemDirectoryA(buffer, size);
}

BOOL CTwainLibrary::Exists(const char* path) const {
    OFSTRUCT info{};
    return OpenFile(path, &info, OF_EXIST) != HFILE_ERROR;
}

HMODULE CTwainLibrary::Load(const char* name) const { return LoadLibraryA(name); }

FARPROC CTwainLibrary::Entry(HMODULE module, LPCSTR name) const {
    return GetProcAddress(module, name);
}

void CTwainLibrary::Free(HMODULE module) const { FreeLibrary(module); }

const CTwainLibrary& CTwainLibrary::System() {
    static const CTwainLibrary system;
    return system;
}

// ---------------------------------------------------------------------------
// Session states.

CTwainSession::CTwainSession() : CTwainSession(CTwainLibrary::System()) {}

CTwainSession::CTwainSession(const CTwainLibrary& library)
    : m_bDSMOpen(FALSE),
      m_hTwainDll(nullptr),
      m_hWndOwner(nullptr),
      m_bSourceOpen(FALSE),
      m_bSourceEnabled(FALSE),
      m_bAcquirePending(0),
      m_pDSMEntry(nullptr),
      m_appId(),
      m_srcId(),
      m_nImageXRes(0),
      m_nImageYRes(0),
      m_bScanning(FALSE),
      m_pLibrary(&library),
      m_bTransferring(FALSE) {}

CTwainSession::~CTwainSession() { Shutdown(); }

void CTwainSession::SetAppIdentity(const TW_IDENTITY& identity, HWND owner) {
    m_appId = identity;
    m_hWndOwner = owner;
}

#ifdef _WIN64
// A 64-bit Windows has the TWAIN Working Group's manager, TWAINDSM.DLL, in the
// system directory; 64-bit Wine keeps its TWAIN_32.DLL there instead. The one
// found first is loaded from where it was found.
BOOL CTwainSession::LoadManager() {
    static const char* const kSystemManagers[] = {"TWAINDSM.DLL", kManagerName};
    char directory[MAX_PATH];
    const UINT length = m_pLibrary->SystemDirectory(directory, sizeof directory);
    if (length == 0 || length >= sizeof directory) return FALSE;

    for (const char* name : kSystemManagers) {
        char path[MAX_PATH];
        if (JoinPath(path, sizeof path, directory, name) && m_pLibrary->Exists(path))
            return LoadManagerFrom(path);
    }
    return FALSE;
}
#else
BOOL CTwainSession::LoadManager() {
    char directory[kWindowsDirectorySize];
    const UINT length = m_pLibrary->WindowsDirectory(directory, sizeof directory);
    if (length == 0 || length >= sizeof directory) return FALSE;

    char name[MAX_PATH];
    if (LoadStringA(GetModuleHandleA(nullptr), kManagerNameStringId, name, sizeof name) <= 0)
        lstrcpynA(name, kManagerName, sizeof name);

    // Only a manager in the Windows directory counts, and that one file is
    // loaded: by its bare name the search would look beside the program and
    // in the current folder first.
    char path[MAX_PATH];
    if (!JoinPath(path, sizeof path, directory, name) || !m_pLibrary->Exists(path)) return FALSE;
    return LoadManagerFrom(path);
}
#endif

BOOL CTwainSession::LoadManagerFrom(const char* name) {
    HMODULE module = m_pLibrary->Load(name);
    if (reinterpret_cast<ULONG_PTR>(module) < 32) return FALSE;
    FARPROC entry = m_pLibrary->Entry(module, kEntryPoint);
    if (!entry) {
        m_pLibrary->Free(module);
        return FALSE;
    }
    m_hTwainDll = module;
    // GetProcAddress knows no signature; void(*)() is the neutral step between.
    m_pDSMEntry = reinterpret_cast<DSMENTRYPROC>(reinterpret_cast<void (*)()>(entry));
    return TRUE;
}

void CTwainSession::UnloadManager() {
    if (m_hTwainDll) m_pLibrary->Free(m_hTwainDll);
    m_hTwainDll = nullptr;
    m_pDSMEntry = nullptr;
}

BOOL CTwainSession::OpenSourceManager() {
    if (m_bDSMOpen) return TRUE;
    if (!LoadManager()) return FALSE;
    // The standard's parent argument is the address of the window handle.
    if (CallManager(DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &m_hWndOwner) == TWRC_SUCCESS)
        m_bDSMOpen = TRUE;
    else
        UnloadManager();  // nothing of it is used until the next attempt loads it again
    return m_bDSMOpen;
}

BOOL CTwainSession::CloseSourceManager() {
    if (!m_bDSMOpen || m_bSourceOpen) return FALSE;
    if (CallManager(DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &m_hWndOwner) != TWRC_SUCCESS)
        return FALSE;
    m_bDSMOpen = FALSE;
    UnloadManager();
    // The name stays, so that the chosen source is asked for again next time.
    m_srcId.Id = 0;
    return TRUE;
}

BOOL CTwainSession::OpenSource() {
    if (m_bSourceOpen) return TRUE;
    if (!m_bDSMOpen) return FALSE;
    // An empty ProductName asks the manager for its default source.
    if (CallManager(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &m_srcId) == TWRC_SUCCESS)
        m_bSourceOpen = TRUE;
    return m_bSourceOpen;
}

BOOL CTwainSession::CloseSource() {
    if (!m_bSourceOpen || m_bSourceEnabled) return FALSE;
    if (CallManager(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &m_srcId) != TWRC_SUCCESS) return FALSE;
    m_bSourceOpen = FALSE;
    m_bScanning = FALSE;
    m_srcId.Id = 0;
    m_srcId.ProductName[0] = '\0';
    return TRUE;
}

BOOL CTwainSession::EnableSource(BOOL showUI) {
    if (!m_bSourceOpen || m_bSourceEnabled) return FALSE;
    m_bScanning = TRUE;
    TW_USERINTERFACE ui{};
    ui.ShowUI = showUI ? TRUE : FALSE;
    ui.ModalUI = FALSE;
    ui.hParent = m_hWndOwner;
    const TW_UINT16 rc = CallUserInterface(MSG_ENABLEDS, &ui);
    // TWRC_CHECKSTATUS: enabled, but showing its own window after all because
    // it cannot scan without one. A refused source scans nothing, whether or
    // not it can then be closed.
    if (rc != TWRC_SUCCESS && rc != TWRC_CHECKSTATUS) {
        m_bScanning = FALSE;
        return FALSE;
    }
    m_bSourceEnabled = TRUE;
    return TRUE;
}

BOOL CTwainSession::DisableSource() {
    if (!m_bSourceEnabled) return FALSE;
    TW_USERINTERFACE ui{};
    ui.ShowUI = TWON_DONTCARE8;
    ui.hParent = m_hWndOwner;
    if (CallUserInterface(MSG_DISABLEDS, &ui) != TWRC_SUCCESS) return FALSE;
    m_bSourceEnabled = FALSE;
    return TRUE;
}

TW_UINT16 CTwainSession::SelectSource() {
    // The source never changes while one is open.
    if (m_bSourceOpen) return TWRC_FAILURE;
    if (!m_bDSMOpen) return TWRC_FAILURE;
    TW_IDENTITY chosen{};
    // The selection dialog starts on the default source.
    CallManager(DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &chosen);
    const TW_UINT16 rc = CallManager(DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, &chosen);
    if (rc == TWRC_SUCCESS) m_srcId = chosen;
    return rc;
}

BOOL CTwainSession::Acquire(BOOL showUI) {
    m_bAcquirePending = 0;
    if (!OpenSourceManager()) return FALSE;
    if (!OpenSource()) {
        CloseSourceManager();
        return FALSE;
    }
    if (SetTransferMechanism() != TWRC_SUCCESS) return FALSE;
    if (m_bSourceEnabled) return TRUE;
    const BOOL enabled = EnableSource(showUI);
    m_bAcquirePending = 1;
    if (!enabled) {
        if (CloseSource()) CloseSourceManager();
        m_bAcquirePending = 0;
        return FALSE;
    }
    return TRUE;
}

// While the source is enabled every message must pass MSG_PROCESSEVENT first:
// the source's window and its notifications arrive through it.
BOOL CTwainSession::ProcessEvent(MSG* message, HWND window) {
    if (!m_bDSMOpen || !m_bSourceOpen) return FALSE;
    TW_EVENT event{};
    event.pEvent = message;
    event.TWMessage = MSG_NULL;
    const TW_UINT16 rc = CallSource(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
    switch (event.TWMessage) {
    case MSG_XFERREADY:
        if (m_bAcquirePending && !m_bTransferring) TransferReady(window);
        break;
    case MSG_CLOSEDSREQ:
        if (DisableSource()) {
            m_bAcquirePending = 0;
            if (CloseSource()) CloseSourceManager();
        }
        break;
    default:
        break;
    }
    return rc == TWRC_DSEVENT;
}

BOOL CTwainSession::GetImageResolution(LONG* xDpm, LONG* yDpm) const {
    *xDpm = m_nImageXRes;
    *yDpm = m_nImageYRes;
    return TRUE;
}

// One WM_USER per transfer, in order. After the last image the session is
// closed before the hand-off; earlier images of a batch are handed over with
// the source still in its transferring state.
void CTwainSession::TransferReady(HWND window) {
    m_bTransferring = TRUE;
    ReadImageResolution(&m_nImageXRes, &m_nImageYRes);
    TW_PENDINGXFERS pending{};
    pending.Count = 0;
    do {
        const WPARAM image = TransferOneImage(&pending);
        SendMessageA(window, WM_USER, image, 0);
    } while (pending.Count != 0 && m_bSourceOpen);
    m_bAcquirePending = 0;
    m_bTransferring = FALSE;
}

// The image handle to hand over (0 for none), after ending the transfer and,
// when nothing more is pending, the session.
WPARAM CTwainSession::TransferOneImage(TW_PENDINGXFERS* pending) {
    // A pointer-sized handle: a 64-bit source writes all 8 bytes of it.
    TW_HANDLE handle = nullptr;
    const TW_UINT16 rc = CallSource(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &handle);
    EndTransfer(pending);
    const bool last = pending->Count == 0;
    if (rc != TWRC_XFERDONE || reinterpret_cast<ULONG_PTR>(handle) < 32) {
        if (last) EndSession();
        return 0;
    }
    HGLOBAL image = static_cast<HGLOBAL>(handle);
    const bool lockable = GlobalLockGuard<>(image).Get() != nullptr;
    if (last) EndSession();
    if (lockable) return reinterpret_cast<WPARAM>(image);
    // A handle that cannot even be locked is no image the dialog could use;
    // the transfer made it the program's all the same, so it is freed here.
    GlobalFree(image);
    return 0;
}

// A source that refuses MSG_ENDXFER reports nothing pending, so that the loop
// cannot go round for ever on the count of an earlier transfer.
void CTwainSession::EndTransfer(TW_PENDINGXFERS* pending) {
    pending->Count = 0;
    if (CallSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, pending) != TWRC_SUCCESS)
        pending->Count = 0;
}

void CTwainSession::EndSession() {
    if (!DisableSource()) return;
    if (CloseSource()) CloseSourceManager();
    m_bAcquirePending = 0;
}

void CTwainSession::Shutdown() {
    if (m_bSourceEnabled) DisableSource();
    if (m_bSourceOpen) CloseSource();
    if (m_bDSMOpen) CloseSourceManager();
    // A manager that refused to close keeps its library: a source's window may
    // still run code from it.
    if (!m_bDSMOpen) UnloadManager();
}

// ---------------------------------------------------------------------------
// Calls into the manager.

TW_UINT16 CTwainSession::CallManager(TW_UINT32 group, TW_UINT16 dat, TW_UINT16 message,
                                     TW_MEMREF data) {
    if (!m_pDSMEntry) return TWRC_FAILURE;
    return m_pDSMEntry(&m_appId, nullptr, group, dat, message, data);
}

TW_UINT16 CTwainSession::CallSource(TW_UINT32 group, TW_UINT16 dat, TW_UINT16 message,
                                    TW_MEMREF data) {
    if (!m_pDSMEntry) return TWRC_FAILURE;
    return m_pDSMEntry(&m_appId, &m_srcId, group, dat, message, data);
}

TW_UINT16 CTwainSession::CallUserInterface(TW_UINT16 message, TW_USERINTERFACE* ui) {
    return CallSource(DG_CONTROL, DAT_USERINTERFACE, message, ui);
}

TW_UINT16 CTwainSession::CallCapability(TW_UINT16 message, TW_CAPABILITY* capability) {
    return CallSource(DG_CONTROL, DAT_CAPABILITY, message, capability);
}

TW_UINT16 CTwainSession::CallImageInfo(TW_IMAGEINFO* info) {
    return CallSource(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, info);
}

// ---------------------------------------------------------------------------
// Capabilities.

TW_UINT16 CTwainSession::SetOneValue(TW_UINT16 cap, TW_UINT16 itemType, const void* item,
                                     SIZE_T itemSize, SIZE_T containerSize) {
    GlobalMemory container = GlobalMemory::Allocate(containerSize);
    {
        GlobalLockGuard<> lock(container.Get());
        if (!lock.Get()) return TWRC_FAILURE;
        BYTE* data = static_cast<BYTE*>(lock.Get());
        std::memcpy(data, &itemType, sizeof itemType);
        std::memcpy(data + kOneValueItem, item, itemSize);
    }
    TW_CAPABILITY capability{};
    capability.Cap = cap;
    capability.ConType = TWON_ONEVALUE;
    capability.hContainer = container.Get();
    return CallCapability(MSG_SET, &capability);
}

// Asks the source about `cap` with `message` (MSG_GET or MSG_GETCURRENT) in
// whatever container it likes; the caller owns the container that comes back.
TW_UINT16 CTwainSession::QueryCapability(TW_UINT16 cap, TW_UINT16 message, TW_CAPABILITY* capability) {
    *capability = TW_CAPABILITY{};
    capability->Cap = cap;
    capability->ConType = TWON_DONTCARE16;
    capability->hContainer = nullptr;
    return CallCapability(message, capability);
}

BOOL CTwainSession::GetFix32Value(TW_UINT16 cap, TW_UINT16 message, float* value) {
    TW_CAPABILITY capability;
    if (QueryCapability(cap, message, &capability) != TWRC_SUCCESS) return FALSE;
    GlobalMemory container(capability.hContainer);
    TW_FIX32 item;
    if (!ReadCurrentItem(container.Get(), capability.ConType, &item)) return FALSE;
    *value = Fix32ToFloat(item);
    return TRUE;
}

BOOL CTwainSession::GetCurrentUnit(TW_UINT16* unit) {
    TW_CAPABILITY capability;
    if (QueryCapability(ICAP_UNITS, MSG_GETCURRENT, &capability) != TWRC_SUCCESS) return FALSE;
    GlobalMemory container(capability.hContainer);
    return ReadCurrentItem(container.Get(), capability.ConType, unit) ? TRUE : FALSE;
}

TW_UINT16 CTwainSession::SetTransferMechanism() {
    const TW_UINT16 native = TWSX_NATIVE;
    return SetOneValue(ICAP_XFERMECH, TWTY_UINT16, &native, sizeof native, kOneValueSize);
}

BOOL CTwainSession::IsPixelTypeSupported(int mode) {
    TW_UINT16 wanted = 0;
    if (!m_bSourceOpen || !PixelTypeOfMode(mode, &wanted)) return FALSE;
    TW_CAPABILITY capability;
    if (QueryCapability(ICAP_PIXELTYPE, MSG_GET, &capability) != TWRC_SUCCESS) return FALSE;
    GlobalMemory container(capability.hContainer);
    CContainerView view(container.Get());
    TW_UINT16 itemType = 0;
    if (!view.Read(0, &itemType) || itemType != TWTY_UINT16) return FALSE;
    TW_UINT16 item = 0;
    if (capability.ConType == TWON_ONEVALUE)
        return view.Read(kOneValueItem, &item) && item == wanted;
    if (capability.ConType != TWON_ENUMERATION) return FALSE;
    TW_UINT32 count = 0;
    if (!view.Read(kEnumNumItems, &count)) return FALSE;
    for (TW_UINT32 i = 0; i < count; ++i) {
        if (!view.Read(kEnumItemList + static_cast<SIZE_T>(i) * sizeof item, &item)) return FALSE;
        if (item == wanted) return TRUE;
    }
    return FALSE;
}

BOOL CTwainSession::SetPixelType(int mode) {
    TW_UINT16 pixelType = 0;
    if (!m_bSourceOpen || !PixelTypeOfMode(mode, &pixelType)) return FALSE;
    return SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, &pixelType, sizeof pixelType,
                       kOneValueSize) == TWRC_SUCCESS;
}

BOOL CTwainSession::GetPhysicalSize(LONG* width, LONG* height) {
    if (!m_bSourceOpen) return FALSE;
    float bedWidth = 0, bedHeight = 0;
    if (!GetFix32Value(ICAP_PHYSICALWIDTH, MSG_GET, &bedWidth) ||
        !GetFix32Value(ICAP_PHYSICALHEIGHT, MSG_GET, &bedHeight))
        return FALSE;
    LONG widthPt = 0, heightPt = 0;
    if (!PointsFromSourceUnits(bedWidth, &widthPt) || !PointsFromSourceUnits(bedHeight, &heightPt))
        return FALSE;
    *width = widthPt;
    *height = heightPt;
    return TRUE;
}

BOOL CTwainSession::SetFrame(LONG left, LONG top, LONG right, LONG bottom) {
    if (!m_bSourceOpen) return FALSE;
    float l = 0, t = 0, r = 0, b = 0;
    if (!PointsToSourceUnits(left, &l) || !PointsToSourceUnits(top, &t) ||
        !PointsToSourceUnits(right, &r) || !PointsToSourceUnits(bottom, &b))
        return FALSE;
    TW_FRAME frame;
    frame.Left = FloatToFix32(l);
    frame.Top = FloatToFix32(t);
    frame.Right = FloatToFix32(r);
    frame.Bottom = FloatToFix32(b);
    return SetOneValue(ICAP_FRAMES, TWTY_FRAME, &frame, sizeof frame, kFrameContainerSize) ==
           TWRC_SUCCESS;
}

BOOL CTwainSession::SetResolution(LONG xDpm, LONG yDpm) {
    if (!m_bSourceOpen) return FALSE;
    const BOOL x = SetResolutionAxis(ICAP_XRESOLUTION, xDpm);
    const BOOL y = SetResolutionAxis(ICAP_YRESOLUTION, yDpm);
    return x && y;
}

// Asks for the offered value nearest the wanted one, so that a source that
// only takes exact values is not refused.
BOOL CTwainSession::SetResolutionAxis(TW_UINT16 cap, LONG dpm) {
    float target = 0;
    if (!DpmToSourceUnits(dpm, &target)) return FALSE;
    TW_CAPABILITY capability;
    if (QueryCapability(cap, MSG_GET, &capability) != TWRC_SUCCESS) return FALSE;
    float nearest = target;
    {
        GlobalMemory container(capability.hContainer);
        nearest = NearestSupportedValue(capability, target);
    }
    const TW_FIX32 value = FloatToFix32(nearest);
    return SetOneValue(cap, TWTY_FIX32, &value, sizeof value, kOneValueSize) == TWRC_SUCCESS;
}

// The offered value nearest `target` (both in the source's unit), quantised as
// a request is: through dots per metre and back. With nothing to choose from
// (an unknown container, items that are not TW_FIX32, an empty enumeration,
// MinValue above MaxValue) the target itself.
float CTwainSession::NearestSupportedValue(const TW_CAPABILITY& capability, float target) {
    float best = target;
    {
        CContainerView view(capability.hContainer);
        float candidate = target;
        bool found = false;
        switch (capability.ConType) {
        case TWON_ENUMERATION:
            found = NearestInEnumeration(view, target, &candidate);
            break;
        case TWON_ONEVALUE: {
            TW_FIX32 item;
            if (view.Read(kOneValueItem, &item)) {
                candidate = Fix32ToFloat(item);
                found = true;
            }
            break;
        }
        case TWON_RANGE:
            found = NearestInRange(view, target, &candidate);
            break;
        default:
            break;
        }
        if (found) best = candidate;
    }
    LONG dpm = 0;
    float quantised = 0;
    if (ConvertToDpm(best, true, &dpm) && DpmToSourceUnits(dpm, &quantised)) best = quantised;
    return best;
}

BOOL CTwainSession::ReadImageResolution(LONG* xDpm, LONG* yDpm) {
    *xDpm = 0;
    *yDpm = 0;
    TW_IMAGEINFO info{};
    if (CallImageInfo(&info) != TWRC_SUCCESS) return FALSE;
    LONG x = 0, y = 0;
    const BOOL xConverted = DpmFromSourceUnits(Fix32ToFloat(info.XResolution), &x);
    const BOOL yConverted = DpmFromSourceUnits(Fix32ToFloat(info.YResolution), &y);
    *xDpm = x;
    *yDpm = y;
    return xConverted && yConverted;
}

// ---------------------------------------------------------------------------
// Units: the source's current unit is asked for before every conversion. An
// unreadable unit gives 0 and FALSE; a unit not converted here (pixels, say)
// gives 0 and TRUE.

BOOL CTwainSession::DpmFromSourceUnits(float value, LONG* dpm) {
    return ConvertToDpm(value, false, dpm);
}

// Dots per unit to dots per metre, truncated as a reading is, or rounded to the
// nearest as a value that is to be converted back is: a fixed-point value a
// hair below 59.06 dots per centimetre must not come back as 59.05.
BOOL CTwainSession::ConvertToDpm(float value, bool nearest, LONG* dpm) {
    *dpm = 0;
    TW_UINT16 unit = 0;
    if (!GetCurrentUnit(&unit)) return FALSE;
    double exact = 0;
    switch (unit) {
    case TWUN_INCHES: exact = value * 0.39370078740157477 * 100; break;
    case TWUN_CENTIMETERS: exact = value * 100.0; break;
    case TWUN_PICAS: exact = value * 2.3622047244094486 * 100; break;
    case TWUN_POINTS: exact = value * 28.346456692913385 * 100; break;
    case TWUN_TWIPS: exact = value * 566.9291338582676 * 100; break;
    default: return TRUE;
    }
    *dpm = TruncateToLong(nearest ? std::floor(exact + 0.5) : exact);
    return TRUE;
}

BOOL CTwainSession::DpmToSourceUnits(LONG dpm, float* value) {
    *value = 0;
    TW_UINT16 unit = 0;
    if (!GetCurrentUnit(&unit)) return FALSE;
    const double d = dpm;
    switch (unit) {
    case TWUN_INCHES: *value = RoundHalfUp(d * 0.025400000000000002); break;
    case TWUN_CENTIMETERS: *value = static_cast<float>(d * 0.01); break;
    case TWUN_PICAS: *value = RoundHalfUp(d * 0.004233333333333334); break;
    // A point or a twip is smaller than a dot at any ordinary resolution: a
    // whole number of dots per point or per twip would turn 600 dpi into 576
    // or 0, so these two stay unrounded, as centimetres do.
    case TWUN_POINTS: *value = static_cast<float>(d * 0.00035277777777777776); break;
    case TWUN_TWIPS: *value = static_cast<float>(d * 0.000017638888888888893); break;
    default: break;
    }
    return TRUE;
}

BOOL CTwainSession::PointsFromSourceUnits(float value, LONG* points) {
    *points = 0;
    TW_UINT16 unit = 0;
    if (!GetCurrentUnit(&unit)) return FALSE;
    switch (unit) {
    case TWUN_INCHES: *points = TruncateToLong(value * 72.0); break;
    case TWUN_CENTIMETERS: *points = TruncateToLong(value * 28.346456692913385); break;
    case TWUN_PICAS: *points = TruncateToLong(value * 12.0); break;
    case TWUN_POINTS: *points = TruncateToLong(value); break;
    case TWUN_TWIPS: *points = TruncateToLong(value * 0.05); break;
    default: break;
    }
    return TRUE;
}

BOOL CTwainSession::PointsToSourceUnits(LONG points, float* value) {
    *value = 0;
    TW_UINT16 unit = 0;
    if (!GetCurrentUnit(&unit)) return FALSE;
    const double p = points;
    switch (unit) {
    case TWUN_INCHES: *value = static_cast<float>(p * 0.013888888888888888); break;
    case TWUN_CENTIMETERS: *value = static_cast<float>(p * 0.035277777777777776); break;
    case TWUN_PICAS: *value = static_cast<float>(p * 0.08333333333333333); break;
    case TWUN_POINTS: *value = static_cast<float>(p); break;
    case TWUN_TWIPS: *value = static_cast<float>(p * 20); break;
    default: break;
    }
    return TRUE;
}

// ---------------------------------------------------------------------------
// Fixed point: 16 bits whole (signed), 16 bits fraction.

TW_FIX32 CTwainSession::FloatToFix32(float value) {
    double scaled = static_cast<double>(value) * 65536 + 0.5;
    if (std::isnan(scaled)) scaled = 0;
    const LONG n = TruncateToLong(scaled);
    TW_FIX32 fix;
    fix.Whole = static_cast<TW_INT16>(n >> 16);
    fix.Frac = static_cast<TW_UINT16>(n & 0xFFFF);
    return fix;
}

float CTwainSession::Fix32ToFloat(const TW_FIX32& value) {
    return static_cast<float>(value.Whole) + static_cast<float>(value.Frac) / 65536.0f;
}
