// Identifiers and texts of the transfer function editor window and its menu,
// shared by the code that builds them and the tests that drive them. Wide
// literals, as in Resource.h.
#pragma once

// The editor's menu bar and the command identifiers of its two items.
constexpr int IDR_TRANSFERFUNCTION = 135;
constexpr int ID_TRANSFERFUNCTION_LOAD = 32771; // 0x8003
constexpr int ID_TRANSFERFUNCTION_SAVE = 32772; // 0x8004
// wx takes menu item ids only up to 0x7FFF: an item carries its command
// identifier less 0x8000 (3 and 4), and its handler is bound to that id.
constexpr int MenuItemId(int nCommand) {
    return nCommand - 0x8000;
}

inline constexpr const wchar_t* TEXT_EDITOR_TITLE = L"Transfer Function Editor";
inline constexpr const wchar_t* TEXT_EDITOR_MENU = L"TransferFunction";
inline constexpr const wchar_t* TEXT_EDITOR_LOAD = L"Load ...";
inline constexpr const wchar_t* TEXT_EDITOR_SAVE = L"Save ...";

// The file dialogs of "Load ..." and "Save ...".
inline constexpr const wchar_t* TEXT_TRF_FILTER =
    L"Transfer functions (*.trf)|*.trf|All Files (*.*)|*.*";
inline constexpr const wchar_t* TEXT_TRF_EXTENSION = L"trf";
inline constexpr const wchar_t* TEXT_TRF_INITIAL_NAME = L"*.trf";

// The message boxes about a file that could not be read or written; %s is the
// file's full path.
inline constexpr const wchar_t* TEXT_TRF_LOAD_FAILED =
    L"The transfer function \u201c%s\u201d could not be loaded.";
inline constexpr const wchar_t* TEXT_TRF_SAVE_FAILED =
    L"The transfer function \u201c%s\u201d could not be saved.";
inline constexpr const wchar_t* TEXT_TRF_LOAD_CAPTION = L"Load Transfer Function";
inline constexpr const wchar_t* TEXT_TRF_SAVE_CAPTION = L"Save Transfer Function";
