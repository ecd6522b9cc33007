// Program event numbers and the window-layer events that windows exchange through the event hub.
#pragma once

// Window number that stands for "nobody": an event posted to it is dropped with its payload.
inline constexpr int WindowNobody = -65535;

// The script engine reports to its window with this number.
inline constexpr int EventScriptMessage = 0;

// Frame events, handled by the top-level loop.
inline constexpr int EventQuit = 0x10000;
inline constexpr int EventOpenMainWindow = 0x10001;
inline constexpr int EventMainWindowClosed = 0x10002;
inline constexpr int EventOpenScriptWindow = 0x10003;
inline constexpr int EventScriptWindowClosed = 0x10004;
inline constexpr int EventCloseAllWindows = 0x10005;

// Main windows and their children.
inline constexpr int EventChildActivated = 0x10006;
inline constexpr int EventChildClosed = 0x10007;
inline constexpr int EventChildOpened = 0x10008;
inline constexpr int EventActivateChild = 0x10009;
inline constexpr int EventConnectInstrument = 0x1000A;
inline constexpr int EventInstrumentConnected = 0x1000B;
inline constexpr int EventInstrumentDisconnected = 0x1000C;
inline constexpr int EventOpenViewer = 0x1000D;
inline constexpr int EventWindowListChanged = 0x1000E;
inline constexpr int EventLinkViewer = 0x1000F;
inline constexpr int EventViewerSync = 0x10010;
inline constexpr int EventSaveWorkspace = 0x10011;
inline constexpr int EventDeleteWorkspace = 0x10012;
inline constexpr int EventUpdateMenuState = 0x10013;
inline constexpr int EventCloseWindow = 0x10014;
inline constexpr int EventRefreshInstrumentList = 0x10015;
inline constexpr int EventNewScreenshot = 0x10016;
inline constexpr int EventViewerReserved = 0x10017; // bound by the waveform viewer, never posted
inline constexpr int EventViewerFullscreen = 0x10018;
inline constexpr int EventTemplateChosen = 0x10019;
inline constexpr int EventWaveformSaveStatus = 0x1001A;

// Instrument core.
inline constexpr int EventSearchFinished = 0x1001C;
inline constexpr int EventTaskFinished = 0x1001D;
inline constexpr int EventTransferStatus = 0x1001E;

// Log lines from other threads, and the SCPI window's refresh thread.
inline constexpr int EventLogLine = 0x10027;
inline constexpr int EventScpiViewRefresh = 0x10028;
// A job of a screenshot window's picture worker is done (data: its uScreenshotResult).
inline constexpr int EventScreenshotProcessed = 0x10030;
// An instrument's connection went away and could not be opened again (posted to window 0 and
// taken by the main windows' binding for every window; object = the instrument object's
// address, data = the transfer's error text as std::string).
inline constexpr int EventInstrumentLost = 0x10031;
// A lost instrument's connection was opened again by a task that talked to it (posted to window
// 0 like EventInstrumentLost; object = the instrument object's address).
inline constexpr int EventInstrumentRegained = 0x10038;
// An instrument's connection was closed because its last user let it go (posted to window 0 like
// EventInstrumentLost; object = the instrument object's address): the instrument lists of every
// main window offer it again.
inline constexpr int EventInstrumentFreed = 0x10039;
// A text for a window's status line (data: std::string), e.g. why the connect it asked for failed.
inline constexpr int EventStatusText = 0x10032;
// The SCPI window's answer save has ended (its thread's result stays with the window's record),
// and the file of a send has been read (data: the reading thread's result).
inline constexpr int EventScpiAnswerSaved = 0x10033;
inline constexpr int EventScpiSendFileRead = 0x10034;

// Gadget event types of the viewers and option panels.
inline constexpr int EventTypeViewerClear = 6;
inline constexpr int EventTypeViewerGadget = 0x10029;
inline constexpr int EventTypeScreenshotOptions = 0x1002A;
inline constexpr int EventTypeViewerReserved = 0x1002B; // bound by the viewer, never posted
inline constexpr int EventTypeWaveformOptions = 0x1002C;

// Window-layer events used across the frame and its children.
inline constexpr int EventGadget = 13100; // object = the gadget, type = what happened to it
inline constexpr int EventMenu = 13101;
inline constexpr int EventActivateWindow = 13104;
inline constexpr int EventTimer = 13110;
inline constexpr int EventCloseWindowRequest = 13116;
inline constexpr int EventSizeWindow = 13118;
// Ours: a USB device was plugged or pulled (posted to every main window).
inline constexpr int EventDeviceChange = 13190;
