// The one scanner session of the copier: the TWAIN source manager, loaded at run
// time, and one data source behind it. Everything runs on the user-interface
// thread; the session never blocks and never shows a message.
#pragma once

#include <windows.h>

#include "twain_api.h"

class CTwainSession {
public:
    CTwainSession();
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
    void EndSession();
    void TransferReady(HWND window);
    float NearestSupportedValue(const TW_CAPABILITY& capability, float target);
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
};
