// The fake source manager and library of the session's unit tests.
#include "fake_twain.h"

#include <algorithm>
#include <cstring>

namespace fake {

namespace {

Manager* g_current = nullptr;

const char* DatName(TW_UINT16 dat) {
    switch (dat) {
    case DAT_CAPABILITY: return "CAPABILITY";
    case DAT_EVENT: return "EVENT";
    case DAT_IDENTITY: return "IDENTITY";
    case DAT_PARENT: return "PARENT";
    case DAT_PENDINGXFERS: return "PENDINGXFERS";
    case DAT_USERINTERFACE: return "USERINTERFACE";
    case DAT_IMAGEINFO: return "IMAGEINFO";
    case DAT_IMAGENATIVEXFER: return "IMAGENATIVEXFER";
    default: return "?";
    }
}

const char* MsgName(TW_UINT16 msg) {
    switch (msg) {
    case MSG_GET: return "GET";
    case MSG_GETCURRENT: return "GETCURRENT";
    case MSG_GETDEFAULT: return "GETDEFAULT";
    case MSG_SET: return "SET";
    case MSG_RESET: return "RESET";
    case MSG_OPENDSM: return "OPENDSM";
    case MSG_CLOSEDSM: return "CLOSEDSM";
    case MSG_OPENDS: return "OPENDS";
    case MSG_CLOSEDS: return "CLOSEDS";
    case MSG_USERSELECT: return "USERSELECT";
    case MSG_ENABLEDS: return "ENABLEDS";
    case MSG_DISABLEDS: return "DISABLEDS";
    case MSG_PROCESSEVENT: return "PROCESSEVENT";
    case MSG_ENDXFER: return "ENDXFER";
    default: return "?";
    }
}

const char* CapName(TW_UINT16 cap) {
    switch (cap) {
    case ICAP_XFERMECH: return "XFERMECH";
    case ICAP_PIXELTYPE: return "PIXELTYPE";
    case ICAP_UNITS: return "UNITS";
    case ICAP_PHYSICALWIDTH: return "PHYSICALWIDTH";
    case ICAP_PHYSICALHEIGHT: return "PHYSICALHEIGHT";
    case ICAP_FRAMES: return "FRAMES";
    case ICAP_XRESOLUTION: return "XRESOLUTION";
    case ICAP_YRESOLUTION: return "YRESOLUTION";
    default: return "?";
    }
}

HGLOBAL NewBlock(SIZE_T size, BYTE** data) {
    HGLOBAL block = GlobalAlloc(GHND, size);
    *data = static_cast<BYTE*>(GlobalLock(block));
    return block;
}

TW_UINT32 Fix32Bits(float value) {
    const TW_FIX32 fix = CTwainSession::FloatToFix32(value);
    TW_UINT32 bits = 0;
    std::memcpy(&bits, &fix, sizeof fix);
    return bits;
}

}  // namespace

std::string Call::Name() const {
    std::string name = std::string(group == DG_IMAGE ? "IMAGE/" : "CONTROL/") + DatName(dat) + "/" +
                       MsgName(msg);
    if (dat == DAT_CAPABILITY) name += std::string(" ") + CapName(cap);
    return name;
}

TW_UINT16 Call::SetUint16() const {
    TW_UINT16 value = 0;
    if (container.size() >= 4) std::memcpy(&value, container.data() + 2, 2);
    return value;
}

float Call::SetFix32() const {
    TW_FIX32 value{};
    if (container.size() >= 6) std::memcpy(&value, container.data() + 2, 4);
    return CTwainSession::Fix32ToFloat(value);
}

TW_FRAME Call::SetFrame() const {
    TW_FRAME frame{};
    if (container.size() >= 2 + sizeof frame) std::memcpy(&frame, container.data() + 2, sizeof frame);
    return frame;
}

HGLOBAL OneValueUint16(TW_UINT16 value) {
    BYTE* data = nullptr;
    HGLOBAL block = NewBlock(sizeof(TW_ONEVALUE), &data);
    const TW_UINT16 type = TWTY_UINT16;
    std::memcpy(data, &type, 2);
    std::memcpy(data + 2, &value, 2);
    GlobalUnlock(block);
    return block;
}

HGLOBAL OneValueFix32(float value) {
    BYTE* data = nullptr;
    HGLOBAL block = NewBlock(sizeof(TW_ONEVALUE), &data);
    const TW_UINT16 type = TWTY_FIX32;
    const TW_UINT32 bits = Fix32Bits(value);
    std::memcpy(data, &type, 2);
    std::memcpy(data + 2, &bits, 4);
    GlobalUnlock(block);
    return block;
}

HGLOBAL EnumerationFix32(const std::vector<float>& items) {
    BYTE* data = nullptr;
    HGLOBAL block = NewBlock(14 + 4 * items.size(), &data);
    const TW_UINT16 type = TWTY_FIX32;
    const TW_UINT32 count = static_cast<TW_UINT32>(items.size());
    std::memcpy(data, &type, 2);
    std::memcpy(data + 2, &count, 4);
    for (size_t i = 0; i < items.size(); ++i) {
        const TW_UINT32 bits = Fix32Bits(items[i]);
        std::memcpy(data + 14 + 4 * i, &bits, 4);
    }
    GlobalUnlock(block);
    return block;
}

HGLOBAL EnumerationUint16(const std::vector<TW_UINT16>& items) {
    BYTE* data = nullptr;
    HGLOBAL block = NewBlock(14 + 2 * items.size(), &data);
    const TW_UINT16 type = TWTY_UINT16;
    const TW_UINT32 count = static_cast<TW_UINT32>(items.size());
    std::memcpy(data, &type, 2);
    std::memcpy(data + 2, &count, 4);
    for (size_t i = 0; i < items.size(); ++i) std::memcpy(data + 14 + 2 * i, &items[i], 2);
    GlobalUnlock(block);
    return block;
}

HGLOBAL RangeFix32(float minimum, float maximum, float step, TW_UINT16 itemType) {
    BYTE* data = nullptr;
    HGLOBAL block = NewBlock(sizeof(TW_RANGE), &data);
    const TW_UINT32 values[5] = {Fix32Bits(minimum), Fix32Bits(maximum), Fix32Bits(step),
                                 Fix32Bits(minimum), Fix32Bits(minimum)};
    std::memcpy(data, &itemType, 2);
    std::memcpy(data + 2, values, sizeof values);
    GlobalUnlock(block);
    return block;
}

HGLOBAL SmallDib() {
    BYTE* data = nullptr;
    const SIZE_T stride = 4 * 3;  // 4 pixels of 3 bytes, already a multiple of 4
    HGLOBAL block = NewBlock(sizeof(BITMAPINFOHEADER) + stride * 2, &data);
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = 4;
    header.biHeight = 2;
    header.biPlanes = 1;
    header.biBitCount = 24;
    std::memcpy(data, &header, sizeof header);
    GlobalUnlock(block);
    return block;
}

TW_IDENTITY AppIdentity() {
    TW_IDENTITY id{};
    id.Version.MajorNum = 1;
    id.Version.MinorNum = 10;
    id.Version.Language = TWLG_USA;
    id.Version.Country = TWCY_USA;
    lstrcpynA(id.Version.Info, "1.11", sizeof id.Version.Info);
    id.ProtocolMajor = 1;
    id.ProtocolMinor = 6;
    id.SupportedGroups = DG_CONTROL | DG_IMAGE;
    lstrcpynA(id.Manufacturer, "Harbel", sizeof id.Manufacturer);
    lstrcpynA(id.ProductFamily, "KOPIWA", sizeof id.ProductFamily);
    lstrcpynA(id.ProductName, "KOPIWA", sizeof id.ProductName);
    return id;
}

// ---------------------------------------------------------------------------

Manager::Manager() { g_current = this; }

Manager::~Manager() {
    if (g_current == this) g_current = nullptr;
}

int Manager::Count(TW_UINT16 dat, TW_UINT16 msg) const {
    return static_cast<int>(Find(dat, msg).size());
}

std::vector<const Call*> Manager::Find(TW_UINT16 dat, TW_UINT16 msg) const {
    std::vector<const Call*> found;
    for (const Call& c : calls)
        if (c.dat == dat && c.msg == msg) found.push_back(&c);
    return found;
}

std::vector<std::string> Manager::Names() const {
    std::vector<std::string> names;
    for (const Call& c : calls) names.push_back(c.Name());
    return names;
}

TW_UINT16 Manager::Entry(pTW_IDENTITY origin, pTW_IDENTITY dest, TW_UINT32 group, TW_UINT16 dat,
                         TW_UINT16 msg, TW_MEMREF data) {
    Call call;
    call.group = group;
    call.dat = dat;
    call.msg = msg;
    call.toSource = dest != nullptr;
    if (origin) call.origin = *origin;
    call.data = data;
    if (session) {
        call.dsmOpen = session->IsSourceManagerOpen();
        call.sourceOpen = session->IsSourceOpen();
        call.sourceEnabled = session->IsSourceEnabled();
    }
    if (dat == DAT_PARENT && data) call.parent = *static_cast<HWND*>(data);
    if (dat == DAT_USERINTERFACE && data) call.ui = *static_cast<TW_USERINTERFACE*>(data);
    if (dat == DAT_IDENTITY && data) call.productName = static_cast<TW_IDENTITY*>(data)->ProductName;
    if (dat == DAT_CAPABILITY && data) {
        const auto* capability = static_cast<TW_CAPABILITY*>(data);
        call.cap = capability->Cap;
        call.conType = capability->ConType;
        call.containerNull = capability->hContainer == nullptr;
        if (msg == MSG_SET && capability->hContainer) {
            call.containerSize = GlobalSize(capability->hContainer);
            const BYTE* bytes = static_cast<const BYTE*>(GlobalLock(capability->hContainer));
            if (bytes) {
                call.container.assign(bytes, bytes + call.containerSize);
                GlobalUnlock(capability->hContainer);
            }
        }
    }
    calls.push_back(call);
    return Answer(calls.back(), group, dat, msg, data);
}

TW_UINT16 Manager::Answer(Call& call, TW_UINT32 group, TW_UINT16 dat, TW_UINT16 msg,
                          TW_MEMREF data) {
    (void)call;
    const auto forcedAnswer = forced.find({dat, msg});
    if (forcedAnswer != forced.end()) return forcedAnswer->second;
    if (group == DG_IMAGE) {
        if (dat == DAT_IMAGEINFO) {
            auto* info = static_cast<TW_IMAGEINFO*>(data);
            info->XResolution = CTwainSession::FloatToFix32(imageXRes);
            info->YResolution = CTwainSession::FloatToFix32(imageYRes);
            return TWRC_SUCCESS;
        }
        if (dat == DAT_IMAGENATIVEXFER) return AnswerTransfer(static_cast<TW_HANDLE*>(data));
        return TWRC_FAILURE;
    }
    switch (dat) {
    case DAT_IDENTITY: {
        auto* identity = static_cast<TW_IDENTITY*>(data);
        if (msg == MSG_GETDEFAULT) lstrcpynA(identity->ProductName, "Fake Scanner", 34);
        if (msg == MSG_USERSELECT) lstrcpynA(identity->ProductName, "Chosen Scanner", 34);
        if (msg == MSG_OPENDS) {
            identity->Id = nextSourceId_++;
            if (!identity->ProductName[0]) lstrcpynA(identity->ProductName, "Fake Scanner", 34);
        }
        return TWRC_SUCCESS;
    }
    case DAT_CAPABILITY:
        return AnswerCapability(msg, static_cast<TW_CAPABILITY*>(data));
    case DAT_EVENT: {
        auto* event = static_cast<TW_EVENT*>(data);
        TW_UINT16 rc = TWRC_NOTDSEVENT;
        if (onEvent && onEvent(event, &rc)) return rc;
        const MSG* message = static_cast<const MSG*>(event->pEvent);
        if (!message || message->message != kSourceEvent) return TWRC_NOTDSEVENT;
        event->TWMessage = static_cast<TW_UINT16>(message->wParam);
        // A batch already announced keeps its count.
        if (event->TWMessage == MSG_XFERREADY && pending_ == 0) {
            pending_ = images;
            transferred_ = 0;
        }
        return TWRC_DSEVENT;
    }
    case DAT_PENDINGXFERS: {
        auto* pending = static_cast<TW_PENDINGXFERS*>(data);
        if (msg == MSG_ENDXFER && pending_ > 0) --pending_;
        if (msg == MSG_RESET) pending_ = 0;
        pending->Count = static_cast<TW_UINT16>(pending_);
        return TWRC_SUCCESS;
    }
    default:
        return TWRC_SUCCESS;
    }
}

TW_UINT16 Manager::AnswerCapability(TW_UINT16 msg, TW_CAPABILITY* capability) {
    for (TW_UINT16 failing : failingCaps)
        if (failing == capability->Cap) return TWRC_FAILURE;
    if (msg == MSG_SET) return TWRC_SUCCESS;
    if (container && (capability->Cap != ICAP_UNITS || containerForUnits)) {
        TW_UINT16 conType = TWON_ONEVALUE;
        if (HGLOBAL block = container(capability->Cap, &conType)) {
            capability->ConType = conType;
            capability->hContainer = block;
            return TWRC_SUCCESS;
        }
    }
    if (capability->Cap == ICAP_UNITS) {
        if (!unitReadable) return TWRC_FAILURE;
        capability->ConType = TWON_ONEVALUE;
        capability->hContainer = OneValueUint16(unit);
        return TWRC_SUCCESS;
    }
    switch (capability->Cap) {
    case ICAP_PHYSICALWIDTH:
    case ICAP_PHYSICALHEIGHT:
        capability->ConType = TWON_ONEVALUE;
        capability->hContainer =
            OneValueFix32(capability->Cap == ICAP_PHYSICALWIDTH ? bedWidth : bedHeight);
        return TWRC_SUCCESS;
    case ICAP_PIXELTYPE:
        capability->ConType = TWON_ENUMERATION;
        capability->hContainer = EnumerationUint16(pixelTypes);
        return TWRC_SUCCESS;
    case ICAP_XRESOLUTION:
    case ICAP_YRESOLUTION:
        capability->ConType = TWON_RANGE;
        capability->hContainer = RangeFix32(1, 2400, 1);
        return TWRC_SUCCESS;
    default:
        return TWRC_FAILURE;
    }
}

// Writes the whole pointer-sized handle, as a TWAIN 2 source does.
TW_UINT16 Manager::AnswerTransfer(TW_HANDLE* handle) {
    const size_t index = static_cast<size_t>(transferred_++);
    const Transfer outcome = index < transfers.size() ? transfers[index] : Transfer::Done;
    if (outcome == Transfer::Cancel) return TWRC_CANCEL;
    if (outcome == Transfer::Fail) return TWRC_FAILURE;
    HGLOBAL image = nextImage;
    nextImage = nullptr;
    if (!image) {
        image = SmallDib();
        delivered.push_back(image);
    }
    *handle = image;
    return TWRC_XFERDONE;
}

TW_UINT16 WINAPI DsmEntry(pTW_IDENTITY origin, pTW_IDENTITY dest, TW_UINT32 group, TW_UINT16 dat,
                          TW_UINT16 msg, TW_MEMREF data) {
    if (!g_current) return TWRC_FAILURE;
    return g_current->Entry(origin, dest, group, dat, msg, data);
}

// ---------------------------------------------------------------------------

// As GetWindowsDirectoryA and GetSystemDirectoryA answer: the length copied,
// or the size needed when the buffer is too small.
static UINT CopyDirectory(const std::string& directory, char* buffer, UINT size) {
    if (directory.size() + 1 > size) return static_cast<UINT>(directory.size() + 1);
    std::memcpy(buffer, directory.c_str(), directory.size() + 1);
    return static_cast<UINT>(directory.size());
}

UINT Library::WindowsDirectory(char* buffer, UINT size) const {
    return CopyDirectory(windowsDirectory, buffer, size);
}

UINT Library::SystemDirectory(char* buffer, UINT size) const {
    return CopyDirectory(systemDirectory, buffer, size);
}

BOOL Library::Exists(const char* path) const {
    existsAsked.push_back(path);
    return present && std::find(missing.begin(), missing.end(), path) == missing.end();
}

HMODULE Library::Load(const char* name) const {
    loaded.push_back(name);
    return module;
}

FARPROC Library::Entry(HMODULE, LPCSTR name) const {
    entriesAsked.push_back(IS_INTRESOURCE(name) ? "#" + std::to_string(reinterpret_cast<ULONG_PTR>(name))
                                                : std::string(name));
    if (!hasEntry) return nullptr;
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&DsmEntry));
}

void Library::Free(HMODULE) const { ++freed; }

}  // namespace fake
