// Identifiers and texts of the viewer's windows, dialogs and controls, shared by
// the code that builds them and the tests that drive them. Texts are wide
// literals so that they reach the toolkit unchanged whatever the C locale.
#pragma once

// Dialogs and the icon.
constexpr int IDD_ABOUTBOX = 100;
constexpr int IDD_MAIN_DIALOG = 102;
constexpr int IDR_MAINFRAME = 128;

// Controls of the main dialog.
constexpr int IDC_EXIT = 1; // the dialog's OK command and default button
constexpr int IDC_LOAD_DATASET = 1000;
constexpr int IDC_SLICING = 1001;
constexpr int IDC_VOLUME = 1002;
constexpr int IDC_REFRESH = 1029;
// The button that opens the about box: GTK gives dialogs no system menu that
// could carry the about entry.
constexpr int IDC_INFO = 1030;

// The about box's OK button.
constexpr int IDC_ABOUT_OK = 1;

// Texts of the main dialog.
inline constexpr const wchar_t* TEXT_MAIN_CAPTION = L"Orvex";
inline constexpr const wchar_t* TEXT_LOAD_DATASET = L"Load Dataset";
inline constexpr const wchar_t* TEXT_RENDER_MODE = L"Render Mode";
inline constexpr const wchar_t* TEXT_SLICING = L"Slicing";
inline constexpr const wchar_t* TEXT_VOLUME = L"Volume";
inline constexpr const wchar_t* TEXT_REFRESH = L"Refresh";
inline constexpr const wchar_t* TEXT_EXIT = L"Exit";
inline constexpr const wchar_t* TEXT_INFO = L"Info";

// The file-open dialog of "Load Dataset".
inline constexpr const wchar_t* TEXT_DATASET_FILTER =
    L"RAW volume datasets (*.dat)|*.dat|All Files (*.*)|*.*";
inline constexpr const wchar_t* TEXT_DATASET_EXTENSION = L"dat";
inline constexpr const wchar_t* TEXT_DATASET_INITIAL_NAME = L"*.dat";
// Caption of the message box about a dataset that could not be read.
inline constexpr const wchar_t* TEXT_DATASET_ERROR_CAPTION = L"Load Dataset";

// Texts of the about box.
inline constexpr const wchar_t* TEXT_ABOUT_CAPTION = L"Info \u00fcber Orvex";
inline constexpr const wchar_t* TEXT_ABOUT_VERSION = L"Orvex Version 1.0";
inline constexpr const wchar_t* TEXT_ABOUT_LINE2 = L"Volume viewer for RAW datasets";
inline constexpr const wchar_t* TEXT_OK = L"OK";

// The render output window and its OpenGL set-up.
inline constexpr const wchar_t* TEXT_RENDER_TITLE = L"Render Output";
inline constexpr const wchar_t* TEXT_ERROR_CAPTION = L"Error";
inline constexpr const wchar_t* TEXT_CHOOSE_PIXEL_FORMAT_FAILED = L"ChoosePixelFormat failed";
inline constexpr const wchar_t* TEXT_SET_PIXEL_FORMAT_FAILED = L"SetPixelFormat failed";
inline constexpr const wchar_t* TEXT_CREATE_FAILED = L"SetPixelformat Failed!";
inline constexpr const wchar_t* TEXT_CONTEXT_FAILED = L"Could not create the OpenGL context";
