// A fake TWAIN source manager with one scripted source behind it, reached
// through a fake library loader: the session's calls are recorded with their
// arguments, and every answer can be changed per test.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "twain_session.h"

namespace fake {

// The message the fake source "posts" and recognises in MSG_PROCESSEVENT;
// wParam carries the TWAIN message it stands for.
const UINT kSourceEvent = WM_APP + 77;
const HMODULE kModule = reinterpret_cast<HMODULE>(0x5A000000);

struct Call {
    TW_UINT32 group = 0;
    TW_UINT16 dat = 0, msg = 0;
    bool toSource = false;
    TW_IDENTITY origin{};
    const void* data = nullptr;
    // Decoded arguments, where the triplet has them.
    HWND parent = nullptr;          // DAT_PARENT: the HWND the data points at
    TW_USERINTERFACE ui{};          // DAT_USERINTERFACE
    TW_UINT16 cap = 0, conType = 0; // DAT_CAPABILITY
    bool containerNull = false;     // DAT_CAPABILITY: hContainer as passed in
    SIZE_T containerSize = 0;       // MSG_SET: GlobalSize of the container
    std::vector<BYTE> container;    // MSG_SET: the container's bytes
    std::string productName;        // DAT_IDENTITY: ProductName as passed in
    // Session flags seen at the time of the call.
    BOOL dsmOpen = FALSE, sourceOpen = FALSE, sourceEnabled = FALSE;

    std::string Name() const;
    TW_UINT16 SetUint16() const;    // the UINT16 item of a one value that was set
    float SetFix32() const;         // the TW_FIX32 item of a one value that was set
    TW_FRAME SetFrame() const;
};

// Builders of containers the fake source returns.
HGLOBAL OneValueUint16(TW_UINT16 value);
HGLOBAL OneValueFix32(float value);
HGLOBAL EnumerationFix32(const std::vector<float>& items);
HGLOBAL EnumerationUint16(const std::vector<TW_UINT16>& items);
HGLOBAL RangeFix32(float minimum, float maximum, float step, TW_UINT16 itemType = TWTY_FIX32);

// A small valid 24-bit DIB in movable memory.
HGLOBAL SmallDib();

enum class Transfer { Done, Cancel, Fail };

class Manager {
public:
    Manager();
    ~Manager();
    Manager(const Manager&) = delete;
    Manager& operator=(const Manager&) = delete;

    std::vector<Call> calls;
    // Answers of the scripted source.
    TW_UINT16 unit = TWUN_INCHES;
    bool unitReadable = true;
    std::function<HGLOBAL(TW_UINT16 cap, TW_UINT16* conType)> container;  // MSG_GET
    bool containerForUnits = false;  // ICAP_UNITS from `container` too
    float bedWidth = 8.5f, bedHeight = 11.0f;
    std::vector<TW_UINT16> pixelTypes{TWPT_BW, TWPT_GRAY, TWPT_RGB};
    std::vector<TW_UINT16> failingCaps;  // every MSG_GET and MSG_SET of these fails
    float imageXRes = 300, imageYRes = 300;
    int images = 1;                     // pending after MSG_XFERREADY
    std::vector<Transfer> transfers;    // per image; Done when not listed
    std::vector<HGLOBAL> delivered;     // images handed out
    HGLOBAL nextImage = nullptr;        // handed out instead of a new image, once
    // Return codes forced for one triplet, by (dat, msg).
    std::map<std::pair<TW_UINT16, TW_UINT16>, TW_UINT16> forced;
    // Called on MSG_PROCESSEVENT before the default answer; returns true when it
    // answered itself.
    std::function<bool(TW_EVENT*, TW_UINT16* rc)> onEvent;
    // Watches the session's flags at each call.
    const CTwainSession* session = nullptr;

    void Force(TW_UINT16 dat, TW_UINT16 msg, TW_UINT16 rc) { forced[{dat, msg}] = rc; }
    int Count(TW_UINT16 dat, TW_UINT16 msg) const;
    std::vector<std::string> Names() const;
    std::vector<const Call*> Find(TW_UINT16 dat, TW_UINT16 msg) const;
    void Clear() { calls.clear(); }

    TW_UINT16 Entry(pTW_IDENTITY origin, pTW_IDENTITY dest, TW_UINT32 group, TW_UINT16 dat,
                    TW_UINT16 msg, TW_MEMREF data);

private:
    TW_UINT16 Answer(Call& call, TW_UINT32 group, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);
    TW_UINT16 AnswerCapability(TW_UINT16 msg, TW_CAPABILITY* capability);
    TW_UINT16 AnswerTransfer(TW_HANDLE* handle);
    int pending_ = 0;
    int transferred_ = 0;
    TW_UINT32 nextSourceId_ = 7;
};

// The entry point the fake library hands out; it forwards to the current Manager.
TW_UINT16 WINAPI DsmEntry(pTW_IDENTITY origin, pTW_IDENTITY dest, TW_UINT32 group, TW_UINT16 dat,
                          TW_UINT16 msg, TW_MEMREF data);

class Library : public CTwainLibrary {
public:
    std::string windowsDirectory = "C:\\WINDOWS";
    std::string systemDirectory = "C:\\WINDOWS\\SYSTEM32";
    bool present = true;
    std::vector<std::string> missing;  // paths that are not there even when present
    HMODULE module = kModule;
    bool hasEntry = true;

    mutable std::vector<std::string> existsAsked;
    mutable std::vector<std::string> loaded;
    mutable std::vector<std::string> entriesAsked;  // "#1" for an ordinal
    mutable int freed = 0;

    UINT WindowsDirectory(char* buffer, UINT size) const override;
    UINT SystemDirectory(char* buffer, UINT size) const override;
    BOOL Exists(const char* path) const override;
    HMODULE Load(const char* name) const override;
    FARPROC Entry(HMODULE module, LPCSTR name) const override;
    void Free(HMODULE module) const override;
};

// The application identity the copier builds.
TW_IDENTITY AppIdentity();

}  // namespace fake
