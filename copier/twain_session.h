// The one scanner session of the copier: the TWAIN source manager, loaded at run
// time, and one data source behind it. Everything runs on the user-interface
// thread; the session never blocks and never shows a message.
#pragma once

#include <windows.h>

#include "twain_api.h"

// How the session finds and loads the source manager: the system's own calls by
// default. Tests hand in a fake with a DSM_Entry of their own.
class CTwainLibrary {
public:
    virtual ~CTwainLibrary() = default;
    virtual UINT WindowsDirectory(char* buffer, UINT size) const;  // GetWindowsDirectoryA
    virtual UINT SystemDirectory(char* buffer, UINT size) const;   // GetSystemDirectoryA
    virtual BOOL Exists(const char* path) const;                   // OpenFile, OF_EXIST
    virtual HMODULE Load(const char* name) const;                  // LoadLibraryA
    virtual FARPROC Entry(HMODULE module, LPCSTR name) const;      // GetProcAddress
    virtual void Free(HMODULE module) const;                       // FreeLibrary
    static const CTwainLibrary& System();
};

class CTwainSession {
public:
    CTwainSession();
    explicit CTwainSession(const CTwainLibrary& library);
    // Disables, closes and unloads whatever is still open, each step on its own
    // state test.
    ~CTwainSession();
    CTwainSession(const CTwainSession&) = delete;
    CTwainSession& operator=(const CTwainSession&) = delete;

    // Identity of the application and the window that owns the source's user
    // interface and receives the WM_USER image hand-off.
    void SetAppIdentity(const TW_IDENTITY& identity, HWND owner);

    BOOL OpenSourceManager();
    BOOL CloseSourceManager();
    BOOL IsSourceManagerOpen() const { return m_bDSMOpen; }
    BOOL OpenSource();
    BOOL CloseSource();
    BOOL IsSourceOpen() const { return m_bSourceOpen; }
    BOOL EnableSource(BOOL showUI);
    BOOL DisableSource();
    BOOL IsSourceEnabled() const { return m_bSourceEnabled; }
    BOOL IsScanning() const { return m_bScanning; }
    TW_UINT16 SelectSource();
    BOOL Acquire(BOOL showUI);
    // The message pre-translation hook: TRUE when the message belonged to the
    // source and must not be dispatched.
    BOOL ProcessEvent(MSG* message, HWND window);
    BOOL GetImageResolution(LONG* xDpm, LONG* yDpm) const;

    // Scan negotiation; lengths in points (1/72 inch), resolutions in dots per metre.
    TW_UINT16 SetTransferMechanism();
    BOOL IsPixelTypeSupported(int mode);
    BOOL SetPixelType(int mode);
    BOOL GetPhysicalSize(LONG* width, LONG* height);
    BOOL SetFrame(LONG left, LONG top, LONG right, LONG bottom);
    BOOL SetResolution(LONG xDpm, LONG yDpm);
    BOOL ReadImageResolution(LONG* xDpm, LONG* yDpm);

    // Unit conversions against the source's current unit (ICAP_UNITS).
    BOOL DpmFromSourceUnits(float value, LONG* dpm);
    BOOL DpmToSourceUnits(LONG dpm, float* value);
    BOOL PointsFromSourceUnits(float value, LONG* points);
    BOOL PointsToSourceUnits(LONG points, float* value);

    static TW_FIX32 FloatToFix32(float value);
    static float Fix32ToFloat(const TW_FIX32& value);

private:
    BOOL LoadManager();
    BOOL LoadManagerFrom(const char* name);
    void UnloadManager();
    void Shutdown();
    void EndSession();
    void TransferReady(HWND window);
    WPARAM TransferOneImage(TW_PENDINGXFERS* pending);
    void EndTransfer(TW_PENDINGXFERS* pending);
    float NearestSupportedValue(const TW_CAPABILITY& capability, float target);
    BOOL SetResolutionAxis(TW_UINT16 cap, LONG dpm);
    BOOL GetCurrentUnit(TW_UINT16* unit);
    BOOL ConvertToDpm(float value, bool nearest, LONG* dpm);
    TW_UINT16 QueryCapability(TW_UINT16 cap, TW_UINT16 message, TW_CAPABILITY* capability);
    BOOL GetFix32Value(TW_UINT16 cap, TW_UINT16 message, float* value);
    TW_UINT16 SetOneValue(TW_UINT16 cap, TW_UINT16 itemType, const void* item, SIZE_T itemSize,
                          SIZE_T containerSize);
    TW_UINT16 CallManager(TW_UINT32 group, TW_UINT16 dat, TW_UINT16 message, TW_MEMREF data);
    TW_UINT16 CallSource(TW_UINT32 group, TW_UINT16 dat, TW_UINT16 message, TW_MEMREF data);
    TW_UINT16 CallUserInterface(TW_UINT16 message, TW_USERINTERFACE* ui);
    TW_UINT16 CallCapability(TW_UINT16 message, TW_CAPABILITY* capability);
    TW_UINT16 CallImageInfo(TW_IMAGEINFO* info);

    BOOL m_bDSMOpen;
    HMODULE m_hTwainDll;
    HWND m_hWndOwner;
    BOOL m_bSourceOpen;
    BOOL m_bSourceEnabled;
    TW_INT16 m_bAcquirePending;
    DSMENTRYPROC m_pDSMEntry;
    TW_IDENTITY m_appId;
    TW_IDENTITY m_srcId;
    LONG m_nImageXRes;
    LONG m_nImageYRes;
    BOOL m_bScanning;
    const CTwainLibrary* m_pLibrary;
    // Set while the transfer loop runs: the hand-off pumps messages, and a
    // second ready event must not start a second loop inside the first.
    BOOL m_bTransferring;
};
