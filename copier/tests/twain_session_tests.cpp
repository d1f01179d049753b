// The scanner session against a fake source manager: what it calls, in which
// order and with which arguments, how its state flags move, what it refuses,
// and how transfers reach the owner window.
#include <gtest/gtest.h>

#include <cstring>

#include "fake_twain.h"
#include "high_memory.h"
#include "twain_session.h"

namespace {

struct Handoff {
    WPARAM image;
    BOOL dsmOpen, sourceOpen, sourceEnabled, scanning;
};

std::vector<Handoff> g_handoffs;
CTwainSession* g_watched = nullptr;
// Run inside a hand-off, as the print job's message pump would.
std::function<void()> g_duringHandoff;

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_USER && g_watched) {
        g_handoffs.push_back(Handoff{wParam, g_watched->IsSourceManagerOpen(),
                                     g_watched->IsSourceOpen(), g_watched->IsSourceEnabled(),
                                     g_watched->IsScanning()});
        if (g_duringHandoff) g_duringHandoff();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateOwner() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = OwnerProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "SessionTestOwner";
    RegisterClassA(&wc);
    return CreateWindowExA(0, wc.lpszClassName, "owner", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10,
                           nullptr, nullptr, wc.hInstance, nullptr);
}

class TwainSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        owner = CreateOwner();
        ASSERT_NE(owner, nullptr);
        session.SetAppIdentity(fake::AppIdentity(), owner);
        manager.session = &session;
        g_watched = &session;
        g_handoffs.clear();
        g_duringHandoff = nullptr;
    }
    void TearDown() override {
        g_watched = nullptr;
        g_duringHandoff = nullptr;
        for (const Handoff& h : g_handoffs)
            if (h.image) GlobalFree(reinterpret_cast<HGLOBAL>(h.image));
        DestroyWindow(owner);
    }

    // The source's notification as the message loop takes it.
    BOOL Deliver(TW_UINT16 twMessage) {
        MSG msg{};
        msg.hwnd = owner;
        msg.message = fake::kSourceEvent;
        msg.wParam = twMessage;
        return session.ProcessEvent(&msg, owner);
    }
    void AcquireWithoutUI() {
        ASSERT_TRUE(session.Acquire(FALSE));
        manager.Clear();
    }
    bool AllClosed() const {
        return !session.IsSourceManagerOpen() && !session.IsSourceOpen() &&
               !session.IsSourceEnabled() && !session.IsScanning();
    }

    fake::Library library;
    fake::Manager manager;
    CTwainSession session{library};
    HWND owner = nullptr;
};

using Names = std::vector<std::string>;

// --- Loading and opening the manager --------------------------------------

#ifdef _WIN64
// A 64-bit copier takes the Working Group's TWAINDSM.DLL from the system
// directory, or else the TWAIN_32.DLL that 64-bit Wine keeps there, and loads
// the file it found.
TEST_F(TwainSessionTest, OpensTheManagerFoundInTheSystemDirectory) {
    ASSERT_TRUE(session.OpenSourceManager());
    EXPECT_EQ(library.existsAsked, Names{"C:\\WINDOWS\\SYSTEM32\\TWAINDSM.DLL"});
    EXPECT_EQ(library.loaded, Names{"C:\\WINDOWS\\SYSTEM32\\TWAINDSM.DLL"});
    ASSERT_TRUE(session.CloseSourceManager());

    library.missing = {"C:\\WINDOWS\\SYSTEM32\\TWAINDSM.DLL"};
    library.existsAsked.clear();
    library.loaded.clear();
    ASSERT_TRUE(session.OpenSourceManager());
    EXPECT_EQ(library.existsAsked, (Names{"C:\\WINDOWS\\SYSTEM32\\TWAINDSM.DLL",
                                          "C:\\WINDOWS\\SYSTEM32\\TWAIN_32.DLL"}));
    EXPECT_EQ(library.loaded, Names{"C:\\WINDOWS\\SYSTEM32\\TWAIN_32.DLL"});
    EXPECT_EQ(library.entriesAsked, (Names{"DSM_Entry", "DSM_Entry"}))
        << "TWAINDSM.DLL exports DSM_Entry by name only";
    EXPECT_EQ(manager.Names(), (Names{"CONTROL/PARENT/OPENDSM", "CONTROL/PARENT/CLOSEDSM",
                                      "CONTROL/PARENT/OPENDSM"}));
}

TEST_F(TwainSessionTest, DoesNotOpenAManagerMissingFromTheSystemDirectory) {
    library.missing = {"C:\\WINDOWS\\SYSTEM32\\TWAINDSM.DLL", "C:\\WINDOWS\\SYSTEM32\\TWAIN_32.DLL"};
    EXPECT_FALSE(session.OpenSourceManager());
    EXPECT_TRUE(library.loaded.empty()) << "the Windows directory is not looked in";
    EXPECT_TRUE(manager.calls.empty());

    // 表 is 0x95 0x5C: its trail byte is not a separator, so one is still added.
    library.missing.clear();
    library.systemDirectory = "C:\\\x95\x5C";
    ASSERT_TRUE(session.OpenSourceManager());
    EXPECT_EQ(library.loaded.back(), "C:\\\x95\x5C\\TWAINDSM.DLL");
}
#else
TEST_F(TwainSessionTest, OpensTheManagerFoundInTheWindowsDirectoryByThatPath) {
    ASSERT_TRUE(session.OpenSourceManager());
    EXPECT_TRUE(session.IsSourceManagerOpen());
    ASSERT_EQ(library.existsAsked.size(), 1u);
    EXPECT_EQ(library.existsAsked[0], "C:\\WINDOWS\\TWAIN_32.DLL");
    ASSERT_EQ(library.loaded.size(), 1u);
    EXPECT_EQ(library.loaded[0], "C:\\WINDOWS\\TWAIN_32.DLL") << "the file checked, never a search";
    EXPECT_EQ(library.entriesAsked, Names{"#1"}) << "DSM_Entry is taken by ordinal 1";

    ASSERT_EQ(manager.Names(), Names{"CONTROL/PARENT/OPENDSM"});
    const fake::Call& open = manager.calls[0];
    EXPECT_FALSE(open.toSource);
    EXPECT_EQ(open.parent, owner) << "the data is the address of the owner's handle";
    EXPECT_NE(open.data, static_cast<const void*>(owner));
    EXPECT_STREQ(open.origin.ProductName, "KOPIWA");
    EXPECT_EQ(open.origin.ProtocolMinor, 6);

    EXPECT_TRUE(session.OpenSourceManager()) << "already open";
    EXPECT_EQ(manager.calls.size(), 1u);
    EXPECT_EQ(library.loaded.size(), 1u);
}

TEST_F(TwainSessionTest, JoinsTheWindowsDirectoryAndNameTheMultibyteWay) {
    library.windowsDirectory = "C:\\";
    ASSERT_TRUE(session.OpenSourceManager());
    EXPECT_EQ(library.existsAsked.back(), "C:\\TWAIN_32.DLL");
    ASSERT_TRUE(session.CloseSourceManager());

    // 表 is 0x95 0x5C: its trail byte is not a separator, so one is still added.
    library.windowsDirectory = "C:\\\x95\x5C";
    ASSERT_TRUE(session.OpenSourceManager());
    EXPECT_EQ(library.existsAsked.back(), "C:\\\x95\x5C\\TWAIN_32.DLL");
}

TEST_F(TwainSessionTest, DoesNotOpenAManagerMissingFromTheWindowsDirectory) {
    library.present = false;
    EXPECT_FALSE(session.OpenSourceManager());
    EXPECT_TRUE(library.loaded.empty()) << "present elsewhere on the search path is not enough";
    EXPECT_TRUE(manager.calls.empty());
    EXPECT_FALSE(session.IsSourceManagerOpen());
}
#endif

TEST_F(TwainSessionTest, GivesTheLibraryBackWhenTheManagerCannotBeOpened) {
    library.module = reinterpret_cast<HMODULE>(31);  // an error code of the old kind
    EXPECT_FALSE(session.OpenSourceManager());
    EXPECT_TRUE(library.entriesAsked.empty());

    library.module = fake::kModule;
    library.hasEntry = false;
    EXPECT_FALSE(session.OpenSourceManager());
    EXPECT_EQ(library.freed, 1) << "no entry point";

    library.hasEntry = true;
    manager.Force(DAT_PARENT, MSG_OPENDSM, TWRC_FAILURE);
    EXPECT_FALSE(session.OpenSourceManager());
    EXPECT_EQ(library.freed, 2) << "MSG_OPENDSM refused";
    EXPECT_FALSE(session.IsSourceManagerOpen());
    EXPECT_TRUE(manager.Find(DAT_PARENT, MSG_CLOSEDSM).empty());
}

TEST_F(TwainSessionTest, ClosesTheManagerOnlyWithNoSourceOpen) {
    ASSERT_TRUE(session.OpenSourceManager());
    ASSERT_TRUE(session.OpenSource());
    manager.Clear();
    EXPECT_FALSE(session.CloseSourceManager());
    EXPECT_TRUE(manager.calls.empty());
    EXPECT_TRUE(session.IsSourceManagerOpen());

    ASSERT_TRUE(session.CloseSource());
    manager.Force(DAT_PARENT, MSG_CLOSEDSM, TWRC_FAILURE);
    EXPECT_FALSE(session.CloseSourceManager());
    EXPECT_TRUE(session.IsSourceManagerOpen());
    EXPECT_EQ(library.freed, 0);

    manager.forced.clear();
    manager.Clear();
    ASSERT_TRUE(session.CloseSourceManager());
    ASSERT_EQ(manager.Names(), Names{"CONTROL/PARENT/CLOSEDSM"});
    EXPECT_EQ(manager.calls[0].parent, owner);
    EXPECT_FALSE(session.IsSourceManagerOpen());
    EXPECT_EQ(library.freed, 1);
    EXPECT_FALSE(session.CloseSourceManager()) << "not open";
}

// --- Sources -----------------------------------------------------------------

TEST_F(TwainSessionTest, OpensAndClosesASourceThroughTheManager) {
    EXPECT_FALSE(session.OpenSource()) << "no manager";
    EXPECT_TRUE(manager.calls.empty());

    ASSERT_TRUE(session.OpenSourceManager());
    manager.Clear();
    ASSERT_TRUE(session.OpenSource());
    ASSERT_EQ(manager.Names(), Names{"CONTROL/IDENTITY/OPENDS"});
    EXPECT_FALSE(manager.calls[0].toSource) << "MSG_OPENDS goes to the manager";
    EXPECT_EQ(manager.calls[0].productName, "") << "the default source is asked for";
    EXPECT_TRUE(session.OpenSource()) << "already open";
    EXPECT_EQ(manager.calls.size(), 1u);

    ASSERT_TRUE(session.EnableSource(FALSE));
    EXPECT_FALSE(session.CloseSource()) << "still enabled";
    ASSERT_TRUE(session.DisableSource());
    manager.Clear();
    ASSERT_TRUE(session.CloseSource());
    ASSERT_EQ(manager.Names(), Names{"CONTROL/IDENTITY/CLOSEDS"});
    EXPECT_FALSE(manager.calls[0].toSource);
    EXPECT_FALSE(session.IsSourceOpen());
    EXPECT_FALSE(session.IsScanning());
    EXPECT_FALSE(session.CloseSource()) << "not open";
}

TEST_F(TwainSessionTest, RefusedOpenAndCloseLeaveTheFlagsAsTheyWere) {
    ASSERT_TRUE(session.OpenSourceManager());
    manager.Force(DAT_IDENTITY, MSG_OPENDS, TWRC_FAILURE);
    EXPECT_FALSE(session.OpenSource());
    EXPECT_FALSE(session.IsSourceOpen());
    manager.forced.clear();
    ASSERT_TRUE(session.OpenSource());
    manager.Force(DAT_IDENTITY, MSG_CLOSEDS, TWRC_FAILURE);
    EXPECT_FALSE(session.CloseSource());
    EXPECT_TRUE(session.IsSourceOpen());
}

TEST_F(TwainSessionTest, EnablesWithTheUserInterfaceFlagAndTheOwnerAsParent) {
    EXPECT_FALSE(session.EnableSource(TRUE)) << "no source";
    EXPECT_FALSE(session.IsScanning());
    ASSERT_TRUE(session.OpenSourceManager());
    ASSERT_TRUE(session.OpenSource());
    manager.Clear();

    ASSERT_TRUE(session.EnableSource(TRUE));
    ASSERT_EQ(manager.Names(), Names{"CONTROL/USERINTERFACE/ENABLEDS"});
    const fake::Call& enable = manager.calls[0];
    EXPECT_TRUE(enable.toSource);
    EXPECT_EQ(enable.ui.ShowUI, TRUE);
    EXPECT_EQ(enable.ui.ModalUI, FALSE);
    EXPECT_EQ(enable.ui.hParent, owner);
    EXPECT_TRUE(session.IsSourceEnabled());
    EXPECT_TRUE(session.IsScanning());
    EXPECT_FALSE(session.EnableSource(TRUE)) << "already enabled";

    manager.Clear();
    ASSERT_TRUE(session.DisableSource());
    ASSERT_EQ(manager.Names(), Names{"CONTROL/USERINTERFACE/DISABLEDS"});
    EXPECT_EQ(manager.calls[0].ui.ShowUI, TWON_DONTCARE8);
    EXPECT_EQ(manager.calls[0].ui.hParent, owner);
    EXPECT_FALSE(session.IsSourceEnabled());
    EXPECT_TRUE(session.IsScanning()) << "scanning lasts until the source is closed";
    EXPECT_FALSE(session.DisableSource()) << "not enabled";
    EXPECT_EQ(manager.calls.size(), 1u);
}

TEST_F(TwainSessionTest, ASourceThatMustShowItsWindowCountsAsEnabled) {
    ASSERT_TRUE(session.OpenSourceManager());
    ASSERT_TRUE(session.OpenSource());
    manager.Force(DAT_USERINTERFACE, MSG_ENABLEDS, TWRC_CHECKSTATUS);
    EXPECT_TRUE(session.EnableSource(FALSE));
    EXPECT_TRUE(session.IsSourceEnabled()) << "so that it can be disabled again";
}

// --- Selecting a source ------------------------------------------------------

TEST_F(TwainSessionTest, SelectsASourceStartingOnTheDefaultOne) {
    ASSERT_TRUE(session.OpenSourceManager());
    manager.Clear();
    EXPECT_EQ(session.SelectSource(), TWRC_SUCCESS);
    ASSERT_EQ(manager.Names(), (Names{"CONTROL/IDENTITY/GETDEFAULT", "CONTROL/IDENTITY/USERSELECT"}));
    EXPECT_EQ(manager.calls[0].data, manager.calls[1].data) << "one scratch record";
    EXPECT_EQ(manager.calls[1].productName, "Fake Scanner") << "starts on the default";

    // The chosen source is asked for by name, also after the manager was closed.
    ASSERT_TRUE(session.CloseSourceManager());
    ASSERT_TRUE(session.OpenSourceManager());
    manager.Clear();
    ASSERT_TRUE(session.OpenSource());
    EXPECT_EQ(manager.calls[0].productName, "Chosen Scanner");
    // Closing the source forgets the choice: the next open takes the default.
    ASSERT_TRUE(session.CloseSource());
    manager.Clear();
    ASSERT_TRUE(session.OpenSource());
    EXPECT_EQ(manager.calls[0].productName, "");
}

TEST_F(TwainSessionTest, ACancelledSelectionKeepsThePreviousChoice) {
    ASSERT_TRUE(session.OpenSourceManager());
    ASSERT_EQ(session.SelectSource(), TWRC_SUCCESS);
    manager.Force(DAT_IDENTITY, MSG_USERSELECT, TWRC_CANCEL);
    EXPECT_EQ(session.SelectSource(), TWRC_CANCEL);
    manager.Clear();
    ASSERT_TRUE(session.OpenSource());
    EXPECT_EQ(manager.calls[0].productName, "Chosen Scanner");
}

TEST_F(TwainSessionTest, DoesNotSelectWhileASourceIsOpenOrWithoutAManager) {
    EXPECT_NE(session.SelectSource(), TWRC_SUCCESS) << "no manager";
    EXPECT_TRUE(manager.calls.empty());
    ASSERT_TRUE(session.OpenSourceManager());
    ASSERT_TRUE(session.OpenSource());
    manager.Clear();
    EXPECT_NE(session.SelectSource(), TWRC_SUCCESS);
    EXPECT_TRUE(manager.calls.empty()) << "no selection dialog while a source is open";
}

// --- Acquiring ----------------------------------------------------------------

TEST_F(TwainSessionTest, AcquireOpensEverythingSetsNativeTransferAndEnables) {
    ASSERT_TRUE(session.Acquire(FALSE));
    ASSERT_EQ(manager.Names(), (Names{"CONTROL/PARENT/OPENDSM", "CONTROL/IDENTITY/OPENDS",
                                      "CONTROL/CAPABILITY/SET XFERMECH",
                                      "CONTROL/USERINTERFACE/ENABLEDS"}));
    const fake::Call& mechanism = manager.calls[2];
    EXPECT_TRUE(mechanism.toSource);
    EXPECT_EQ(mechanism.conType, TWON_ONEVALUE);
    EXPECT_GE(mechanism.containerSize, 6u);
    EXPECT_EQ(mechanism.container[0], TWTY_UINT16);
    EXPECT_EQ(mechanism.SetUint16(), TWSX_NATIVE);
    EXPECT_EQ(manager.calls[3].ui.ShowUI, FALSE);
    EXPECT_TRUE(session.IsSourceEnabled());
    EXPECT_TRUE(session.IsScanning());
}

TEST_F(TwainSessionTest, AcquireClosesTheManagerAgainWhenNoSourceOpens) {
    manager.Force(DAT_IDENTITY, MSG_OPENDS, TWRC_FAILURE);
    EXPECT_FALSE(session.Acquire(FALSE));
    EXPECT_EQ(manager.Count(DAT_PARENT, MSG_CLOSEDSM), 1);
    EXPECT_TRUE(AllClosed());
}

TEST_F(TwainSessionTest, AcquireLeavesTheSourceOpenWhenNativeTransferIsRefused) {
    manager.Force(DAT_CAPABILITY, MSG_SET, TWRC_FAILURE);
    EXPECT_FALSE(session.Acquire(FALSE));
    EXPECT_EQ(manager.Count(DAT_USERINTERFACE, MSG_ENABLEDS), 0);
    EXPECT_TRUE(session.IsSourceManagerOpen());
    EXPECT_TRUE(session.IsSourceOpen());
}

TEST_F(TwainSessionTest, AcquireClosesEverythingWhenEnablingIsRefused) {
    // A source that refuses to close as well stays open, but nothing scans:
    // the buttons must not stay disabled until the program restarts.
    manager.Force(DAT_USERINTERFACE, MSG_ENABLEDS, TWRC_FAILURE);
    manager.Force(DAT_IDENTITY, MSG_CLOSEDS, TWRC_FAILURE);
    EXPECT_FALSE(session.Acquire(TRUE));
    EXPECT_TRUE(session.IsSourceOpen());
    EXPECT_FALSE(session.IsScanning());
    manager.forced.clear();
    ASSERT_TRUE(session.CloseSource());
    ASSERT_TRUE(session.CloseSourceManager());
    manager.Clear();

    manager.Force(DAT_USERINTERFACE, MSG_ENABLEDS, TWRC_FAILURE);
    EXPECT_FALSE(session.Acquire(TRUE));
    EXPECT_EQ(manager.Count(DAT_IDENTITY, MSG_CLOSEDS), 1);
    EXPECT_EQ(manager.Count(DAT_PARENT, MSG_CLOSEDSM), 1);
    EXPECT_TRUE(AllClosed()) << "the scanning flag is cleared again";
    // Nothing is pending: a stray ready event of a later session is ignored.
    manager.forced.clear();
    ASSERT_TRUE(session.OpenSourceManager());
    ASSERT_TRUE(session.OpenSource());
    ASSERT_TRUE(session.EnableSource(FALSE));
    Deliver(MSG_XFERREADY);
    EXPECT_EQ(manager.Count(DAT_IMAGENATIVEXFER, MSG_GET), 0);
}

TEST_F(TwainSessionTest, AReadyEventWithoutAPendingAcquisitionIsIgnored) {
    AcquireWithoutUI();
    // A second Acquire finds the source enabled and starts nothing.
    EXPECT_TRUE(session.Acquire(FALSE));
    EXPECT_EQ(manager.Count(DAT_USERINTERFACE, MSG_ENABLEDS), 0);
    EXPECT_TRUE(Deliver(MSG_XFERREADY)) << "still the source's own event";
    EXPECT_EQ(manager.Count(DAT_IMAGENATIVEXFER, MSG_GET), 0);
    EXPECT_EQ(manager.Count(DAT_IMAGEINFO, MSG_GET), 0);
    EXPECT_TRUE(g_handoffs.empty());
    EXPECT_TRUE(session.IsSourceEnabled());
}

// --- Events --------------------------------------------------------------------

TEST_F(TwainSessionTest, ProcessEventWithNothingOpenNeverCallsTheManager) {
    MSG msg{owner, WM_PAINT, 0, 0, 0, {0, 0}};
    EXPECT_FALSE(session.ProcessEvent(&msg, owner));
    ASSERT_TRUE(session.OpenSourceManager());
    manager.Clear();
    EXPECT_FALSE(session.ProcessEvent(&msg, owner)) << "a manager but no source";
    EXPECT_TRUE(manager.calls.empty());
}

TEST_F(TwainSessionTest, ProcessEventPassesTheMessageAndClaimsOnlyTheSourcesOwn) {
    AcquireWithoutUI();
    MSG other{owner, WM_PAINT, 0, 0, 0, {0, 0}};
    EXPECT_FALSE(session.ProcessEvent(&other, owner));
    ASSERT_EQ(manager.Names(), Names{"CONTROL/EVENT/PROCESSEVENT"});
    EXPECT_TRUE(manager.calls[0].toSource);

    const MSG* seen = nullptr;
    TW_UINT16 messageBefore = 0xBEEF;
    manager.onEvent = [&](TW_EVENT* event, TW_UINT16* rc) {
        seen = static_cast<const MSG*>(event->pEvent);
        messageBefore = event->TWMessage;
        *rc = TWRC_DSEVENT;
        return true;
    };
    EXPECT_TRUE(session.ProcessEvent(&other, owner));
    EXPECT_EQ(seen, &other);
    EXPECT_EQ(messageBefore, MSG_NULL);
}

TEST_F(TwainSessionTest, ACloseRequestClosesEverythingWithoutAHandoff) {
    AcquireWithoutUI();
    EXPECT_TRUE(Deliver(MSG_CLOSEDSREQ));
    EXPECT_EQ(manager.Names(), (Names{"CONTROL/EVENT/PROCESSEVENT", "CONTROL/USERINTERFACE/DISABLEDS",
                                      "CONTROL/IDENTITY/CLOSEDS", "CONTROL/PARENT/CLOSEDSM"}));
    EXPECT_TRUE(AllClosed());
    EXPECT_TRUE(g_handoffs.empty());
    EXPECT_EQ(library.freed, 1);
}

TEST_F(TwainSessionTest, ACloseRequestStopsWhereTheSourceRefuses) {
    AcquireWithoutUI();
    manager.Force(DAT_USERINTERFACE, MSG_DISABLEDS, TWRC_FAILURE);
    Deliver(MSG_CLOSEDSREQ);
    EXPECT_EQ(manager.Count(DAT_IDENTITY, MSG_CLOSEDS), 0);
    EXPECT_TRUE(session.IsSourceEnabled());
}

// --- Transfers -----------------------------------------------------------------

TEST_F(TwainSessionTest, OneImageIsHandedOverAfterTheSessionClosed) {
    manager.imageXRes = 300;
    manager.imageYRes = 150;
    AcquireWithoutUI();
    EXPECT_TRUE(Deliver(MSG_XFERREADY));
    EXPECT_EQ(manager.Names(),
              (Names{"CONTROL/EVENT/PROCESSEVENT", "IMAGE/IMAGEINFO/GET",
                     "CONTROL/CAPABILITY/GETCURRENT UNITS", "CONTROL/CAPABILITY/GETCURRENT UNITS",
                     "IMAGE/IMAGENATIVEXFER/GET", "CONTROL/PENDINGXFERS/ENDXFER",
                     "CONTROL/USERINTERFACE/DISABLEDS", "CONTROL/IDENTITY/CLOSEDS",
                     "CONTROL/PARENT/CLOSEDSM"}));
    ASSERT_EQ(g_handoffs.size(), 1u);
    ASSERT_EQ(manager.delivered.size(), 1u);
    EXPECT_EQ(g_handoffs[0].image, reinterpret_cast<WPARAM>(manager.delivered[0]));
    EXPECT_FALSE(g_handoffs[0].dsmOpen) << "closed before the last hand-off";
    EXPECT_FALSE(g_handoffs[0].scanning);
    EXPECT_TRUE(AllClosed());
    LONG x = 0, y = 0;
    EXPECT_TRUE(session.GetImageResolution(&x, &y));
    EXPECT_EQ(x, 11811);
    EXPECT_EQ(y, 5905);
    // A second ready event (now with nothing open) is not the session's business.
    EXPECT_FALSE(Deliver(MSG_XFERREADY));
}

#ifdef _WIN64
// A 64-bit source writes all 8 bytes of the handle; a block above 4 GB is
// lost to a copier that keeps only 4 of them (and its stack is overrun).
TEST_F(TwainSessionTest, AHandleAbove4GBIsHandedOverWhole) {
    HGLOBAL high = wintest::GlobalAllocAbove4GB(2 << 20);
    ASSERT_NE(high, nullptr) << "no memory above 4 GB to be had";
    manager.nextImage = high;
    AcquireWithoutUI();
    Deliver(MSG_XFERREADY);
    ASSERT_EQ(g_handoffs.size(), 1u);
    EXPECT_EQ(g_handoffs[0].image, reinterpret_cast<WPARAM>(high));
    if (g_handoffs[0].image) GlobalFree(high);
}
#endif

TEST_F(TwainSessionTest, ABatchOfThreeGivesThreeHandoffsTheLastAfterClosing) {
    manager.images = 3;
    AcquireWithoutUI();
    Deliver(MSG_XFERREADY);
    ASSERT_EQ(g_handoffs.size(), 3u);
    ASSERT_EQ(manager.delivered.size(), 3u);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(g_handoffs[i].image, reinterpret_cast<WPARAM>(manager.delivered[i])) << i;
    EXPECT_TRUE(g_handoffs[0].sourceEnabled);
    EXPECT_TRUE(g_handoffs[1].sourceEnabled);
    EXPECT_TRUE(g_handoffs[1].scanning);
    EXPECT_FALSE(g_handoffs[2].sourceOpen);
    EXPECT_FALSE(g_handoffs[2].dsmOpen);
    EXPECT_EQ(manager.Count(DAT_PENDINGXFERS, MSG_ENDXFER), 3);
    EXPECT_EQ(manager.Count(DAT_IMAGEINFO, MSG_GET), 1) << "read once per ready event";
    EXPECT_TRUE(AllClosed());
}

TEST_F(TwainSessionTest, ACancelledOrFailedTransferHandsOverZero) {
    manager.images = 3;
    manager.transfers = {fake::Transfer::Done, fake::Transfer::Cancel, fake::Transfer::Fail};
    AcquireWithoutUI();
    Deliver(MSG_XFERREADY);
    ASSERT_EQ(g_handoffs.size(), 3u);
    EXPECT_NE(g_handoffs[0].image, 0u);
    EXPECT_EQ(g_handoffs[1].image, 0u);
    EXPECT_EQ(g_handoffs[2].image, 0u);
    EXPECT_EQ(manager.Count(DAT_PENDINGXFERS, MSG_ENDXFER), 3) << "every transfer is ended";
    EXPECT_FALSE(g_handoffs[2].dsmOpen) << "nothing left pending: the session closed";
    EXPECT_TRUE(AllClosed());
}

TEST_F(TwainSessionTest, ASingleCancelledTransferClosesTheSession) {
    manager.transfers = {fake::Transfer::Cancel};
    AcquireWithoutUI();
    Deliver(MSG_XFERREADY);
    ASSERT_EQ(g_handoffs.size(), 1u);
    EXPECT_EQ(g_handoffs[0].image, 0u);
    EXPECT_TRUE(AllClosed());
}

TEST_F(TwainSessionTest, TheLoopEndsWhenTheSourceStopsEndingTransfers) {
    manager.images = 3;
    AcquireWithoutUI();
    int transfers = 0;
    g_duringHandoff = [&] {
        if (++transfers == 1) manager.Force(DAT_PENDINGXFERS, MSG_ENDXFER, TWRC_FAILURE);
        if (transfers > 5) {
            ADD_FAILURE() << "the transfer loop went round for ever";
            manager.forced.clear();  // let it end
        }
    };
    Deliver(MSG_XFERREADY);
    EXPECT_EQ(g_handoffs.size(), 2u);
    EXPECT_TRUE(AllClosed()) << "a refused end counts as nothing pending";
}

TEST_F(TwainSessionTest, AnImageThatCannotBeLockedIsNotHandedOver) {
    HGLOBAL discarded = GlobalAlloc(GMEM_MOVEABLE | GMEM_DISCARDABLE, 16);
    ASSERT_NE(GlobalDiscard(discarded), nullptr);
    ASSERT_EQ(GlobalLock(discarded), nullptr);
    manager.nextImage = discarded;
    AcquireWithoutUI();
    Deliver(MSG_XFERREADY);
    ASSERT_EQ(g_handoffs.size(), 1u);
    EXPECT_EQ(g_handoffs[0].image, 0u);
    EXPECT_TRUE(AllClosed()) << "the session still closes after the last transfer";
    // The transfer gave the block to the program: not handed on, it is freed.
    EXPECT_EQ(GlobalFlags(discarded), static_cast<UINT>(GMEM_INVALID_HANDLE));
    if (GlobalFlags(discarded) != GMEM_INVALID_HANDLE) GlobalFree(discarded);
}

TEST_F(TwainSessionTest, ATransferReportingATinyHandleHandsOverZeroAndStillCloses) {
    AcquireWithoutUI();
    manager.Force(DAT_IMAGENATIVEXFER, MSG_GET, TWRC_XFERDONE);  // handle stays 0
    Deliver(MSG_XFERREADY);
    ASSERT_EQ(g_handoffs.size(), 1u);
    EXPECT_EQ(g_handoffs[0].image, 0u);
    EXPECT_TRUE(AllClosed());
}

TEST_F(TwainSessionTest, EventsDuringAHandoffDoNotStartASecondLoop) {
    manager.images = 2;
    AcquireWithoutUI();
    std::vector<BOOL> nested;
    g_duringHandoff = [&] { nested.push_back(Deliver(MSG_XFERREADY)); };
    Deliver(MSG_XFERREADY);
    ASSERT_EQ(g_handoffs.size(), 2u);
    EXPECT_EQ(manager.Count(DAT_IMAGENATIVEXFER, MSG_GET), 2);
    ASSERT_EQ(nested.size(), 2u);
    EXPECT_TRUE(nested[0]) << "the source was still open during the first hand-off";
    EXPECT_FALSE(nested[1]) << "closed before the last: the nested call returns at once";
}

TEST_F(TwainSessionTest, AFailingDisableLeavesTheSessionEnabledAfterTheLastImage) {
    AcquireWithoutUI();
    manager.Force(DAT_USERINTERFACE, MSG_DISABLEDS, TWRC_FAILURE);
    Deliver(MSG_XFERREADY);
    ASSERT_EQ(g_handoffs.size(), 1u);
    EXPECT_NE(g_handoffs[0].image, 0u);
    EXPECT_EQ(manager.Count(DAT_IDENTITY, MSG_CLOSEDS), 0);
    EXPECT_TRUE(session.IsSourceEnabled());
}

// --- Shutdown ------------------------------------------------------------------

TEST_F(TwainSessionTest, DestroyingAnEnabledSessionRunsTheWholeClosingChain) {
    fake::Library ownLibrary;
    {
        CTwainSession scoped(ownLibrary);
        scoped.SetAppIdentity(fake::AppIdentity(), owner);
        ASSERT_TRUE(scoped.Acquire(FALSE));
        manager.Clear();
    }
    EXPECT_EQ(manager.Names(), (Names{"CONTROL/USERINTERFACE/DISABLEDS", "CONTROL/IDENTITY/CLOSEDS",
                                      "CONTROL/PARENT/CLOSEDSM"}));
    EXPECT_EQ(ownLibrary.freed, 1);
}

TEST_F(TwainSessionTest, EachShutdownStepTestsItsOwnState) {
    fake::Library ownLibrary;
    {
        CTwainSession scoped(ownLibrary);
        scoped.SetAppIdentity(fake::AppIdentity(), owner);
        ASSERT_TRUE(scoped.Acquire(FALSE));
        manager.Force(DAT_USERINTERFACE, MSG_DISABLEDS, TWRC_FAILURE);
        manager.Clear();
    }
    // The source stayed enabled: closing it and the manager is refused by the
    // session itself, and the manager's library stays loaded.
    EXPECT_EQ(manager.Names(), Names{"CONTROL/USERINTERFACE/DISABLEDS"});
    EXPECT_EQ(ownLibrary.freed, 0);
}

}  // namespace
