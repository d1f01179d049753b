// TRANSITIONAL, until the scanner session and the scan negotiation are in the
// build (target copier_scan): a session that behaves as on a machine without
// any scanner software. The source manager never opens, so Copy and Select
// Scanner end quietly and nothing is ever scanning. Remove with that merge.
#include "scan_plan.h"
#include "twain_session.h"

CTwainSession::CTwainSession()
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
      m_bScanning(FALSE) {}

CTwainSession::~CTwainSession() = default;

void CTwainSession::SetAppIdentity(const TW_IDENTITY& identity, HWND owner) {
    m_appId = identity;
    m_hWndOwner = owner;
}

BOOL CTwainSession::OpenSourceManager() { return FALSE; }
BOOL CTwainSession::CloseSourceManager() { return FALSE; }
BOOL CTwainSession::OpenSource() { return FALSE; }
BOOL CTwainSession::CloseSource() { return FALSE; }
BOOL CTwainSession::EnableSource(BOOL) { return FALSE; }
BOOL CTwainSession::DisableSource() { return FALSE; }
TW_UINT16 CTwainSession::SelectSource() { return TWRC_FAILURE; }
BOOL CTwainSession::Acquire(BOOL) { return FALSE; }
BOOL CTwainSession::ProcessEvent(MSG*, HWND) { return FALSE; }

BOOL CTwainSession::GetImageResolution(LONG* xDpm, LONG* yDpm) const {
    *xDpm = m_nImageXRes;
    *yDpm = m_nImageYRes;
    return TRUE;
}

void PrepareScan(CTwainSession&, const PrinterMetrics&, int, int, int) {}
