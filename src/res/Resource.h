// Identifiers, texts and dialog-unit layout of the viewer's windows, dialogs,
// panels and menus, shared by the code that builds them and the tests that
// drive them. Texts are wide literals so that they reach the toolkit unchanged
// whatever the C locale.
#pragma once

// ==== The main dialog, the about box and the render output window ====

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

// The file-open dialog of "Load Dataset". Its filter lists every volume file,
// then each kind of volume file (the RAW dataset under the name below), then
// every file.
inline constexpr const wchar_t* TEXT_DATASET_ALL_VOLUMES = L"All volume files";
inline constexpr const wchar_t* TEXT_DATASET_DAT_KIND = L"RAW volume datasets";
inline constexpr const wchar_t* TEXT_ALL_FILES_FILTER = L"All Files (*.*)|*.*";
inline constexpr const wchar_t* TEXT_DATASET_EXTENSION = L"dat";
inline constexpr const wchar_t* TEXT_DATASET_INITIAL_NAME = L"*.dat";
// The message box about a dataset that could not be read: the file's full path
// and the reason.
inline constexpr const wchar_t* TEXT_DATASET_LOAD_FAILED =
    L"The dataset \u201c%s\u201d could not be loaded: %s.";
inline constexpr const wchar_t* TEXT_DATASET_ERROR_CAPTION = L"Load Dataset";

// The dialog that asks for the layout of a file that no reader recognises, to
// read it as bare RAW values: the file's name, its size in bytes and why no
// reader took it, then the fields.
inline constexpr const wchar_t* TEXT_RAW_CAPTION = L"Bare RAW File";
inline constexpr const wchar_t* TEXT_RAW_INTRO =
    L"\u201c%s\u201d (%s bytes): %s.\nTo read it as bare RAW values, give their layout:";
inline constexpr const wchar_t* TEXT_RAW_SIZE = L"Size (X x Y x Z):";
inline constexpr const wchar_t* TEXT_RAW_TYPE = L"Voxel type:";
inline constexpr const wchar_t* TEXT_RAW_BYTE_ORDER = L"Byte order:";
inline constexpr const wchar_t* TEXT_RAW_LITTLE = L"little-endian";
inline constexpr const wchar_t* TEXT_RAW_BIG = L"big-endian";
inline constexpr const wchar_t* TEXT_RAW_HEADER = L"Header bytes:";
inline constexpr const wchar_t* TEXT_RAW_SPACING = L"Spacing (X, Y, Z):";
// The message boxes about a field that does not hold a layout (captioned
// TEXT_RAW_CAPTION). A layout that does not explain the file's size is
// reported like every load failure (TEXT_DATASET_LOAD_FAILED).
inline constexpr const wchar_t* TEXT_RAW_SIZE_INVALID =
    L"The size must be three whole numbers from 1 to 32767, as in 256 x 256 x 128.";
inline constexpr const wchar_t* TEXT_RAW_HEADER_INVALID =
    L"The header must be a whole number of bytes from 0 to 2147483647.";
inline constexpr const wchar_t* TEXT_RAW_SPACING_INVALID =
    L"The spacing must be three positive numbers, as in 1, 1, 2.";

// The status text below the panels, in dialog units: from below the taller
// panel (the slicing panel with its "Slice Display" group) to above "Info".
constexpr int IDC_STATUS = 1040;
constexpr int STATUS_TOP = 372;
constexpr int STATUS_HEIGHT = 80;
// While a dataset loads: its line at the top of the status, and a progress bar
// and "Cancel" (Escape too) at the status's foot.
constexpr int IDC_LOAD_PROGRESS = 1110;
constexpr int IDC_CANCEL_LOAD = 1111;
inline constexpr const wchar_t* TEXT_LOADING = L"Loading %s \u2026 %d %%";
inline constexpr const wchar_t* TEXT_CANCEL_LOAD = L"Cancel";
// When the current dataset's gradients, freed for a load that then failed,
// cannot be made again.
inline constexpr const wchar_t* TEXT_GRADIENTS_LOST =
    L"There is not enough memory to show the current dataset in Volume mode again.";
// The status line about the transfer function a loaded scan was given: the
// automatic fit when no "default.trf" was read, or the preset last chosen in
// the editor (%s its name), fitted to the new scan.
inline constexpr const wchar_t* TEXT_FIT_NOTE =
    L"No default.trf was read: the transfer function fits the data";
inline constexpr const wchar_t* TEXT_PRESET_NOTE = L"Transfer function: %s, fitted to this scan";

// The keys of the viewer's commands, as menus show them after a tab.
inline constexpr const wchar_t* TEXT_KEY_OPEN = L"Ctrl+O";
inline constexpr const wchar_t* TEXT_KEY_SAVE = L"Ctrl+S";

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

// The render window's context menu and its picture files. Its keys give the
// commands of the main dialog's buttons under their identifiers.
constexpr int ID_SAVE_PICTURE = 1041;
inline constexpr const wchar_t* TEXT_SAVE_PICTURE = L"Save Picture ...";
inline constexpr const wchar_t* TEXT_PICTURE_FILTER =
    L"PNG pictures (*.png)|*.png|All Files (*.*)|*.*";
inline constexpr const wchar_t* TEXT_PICTURE_EXTENSION = L"png";
// The message box about a picture that could not be written: the file's full
// path and the reason.
inline constexpr const wchar_t* TEXT_PICTURE_SAVE_FAILED =
    L"The picture \u201c%s\u201d could not be saved: %s.";
inline constexpr const wchar_t* TEXT_PICTURE_SAVE_CAPTION = L"Save Picture";
// How far a key turns the view.
constexpr int KEY_TURN_DEGREES = 5;

// ==== The main dialog's child panels: volume, first-hit and slicing ====

// The panels (their window identifiers are their template numbers).
constexpr int IDD_VOLUME_DIALOG = 133;
constexpr int IDD_SLICING_DIALOG = 134;
constexpr int IDD_FIRSTHIT_DIALOG = 136;

// Controls of the volume panel.
constexpr int IDC_LONGITUDE = 1015;
constexpr int IDC_LATITUDE = 1016;
// The compositing type radios: 1018 Levoy, 1019 X-Ray, 1020 First Hit, then
// from 1090 on (1090 MIP, 1091 MinIP); their texts are the compositing modes'
// panel texts.
constexpr int IDC_VOLUME_TYPE = 1018;
constexpr int IDC_VOLUME_TYPE_MORE = 1090;
constexpr int VolumeTypeControl(int nType) {
    return nType < 3 ? IDC_VOLUME_TYPE + nType : IDC_VOLUME_TYPE_MORE + nType - 3;
}
constexpr int IDC_TRILINEAR = 1022;
constexpr int IDC_NEAREST = 1023; // also the slicing panel's "Nearest Neighbour"

// Controls of the first-hit panel.
constexpr int IDC_UPPER_THRESHOLD = 1030;
constexpr int IDC_LOWER_THRESHOLD = 1031;

// Controls of the slicing panel.
constexpr int IDC_PLANE_XY = 1003;
constexpr int IDC_PLANE_XZ = 1004;
constexpr int IDC_PLANE_YZ = 1005;
constexpr int IDC_SLICE_SLIDER = 1007;
constexpr int IDC_NEXT_SLICE = 1011;
constexpr int IDC_PREV_SLICE = 1012;
constexpr int IDC_SLICING_PLANE_GROUP = 1025;
constexpr int IDC_SLICE_NUMBER_GROUP = 1026;
constexpr int IDC_SLICING_INTERPOLATION_GROUP = 1027;
constexpr int IDC_FIT_GROUP = 1028;
constexpr int IDC_SLICE_LABEL = 1031;
constexpr int IDC_BILINEAR = 1033;
constexpr int IDC_FIT_1 = 1034;
constexpr int IDC_FIT_2 = 1035;

// The numbers beside the sliders: the rotation sliders' angles in degrees and
// the first-hit panel's thresholds.
constexpr int IDC_LONGITUDE_VALUE = 1042;
constexpr int IDC_LATITUDE_VALUE = 1043;
constexpr int IDC_UPPER_VALUE = 1044;
constexpr int IDC_LOWER_VALUE = 1045;
inline constexpr const wchar_t* TEXT_DEGREES_FORMAT = L"%d\u00b0";
inline constexpr const wchar_t* TEXT_VALUE_FORMAT = L"%d";
// Where the numbers stand, in dialog units: right of their sliders, which end
// at SLIDER_VALUE_LEFT - 1 to leave them the room.
constexpr int SLIDER_VALUE_LEFT = 122;
constexpr int SLIDER_VALUE_WIDTH = 18;

// Panel sizes in dialog units. The mode panels end below their last control,
// leaving the room beneath them to the status text.
constexpr int VOLUME_DIALOG_WIDTH = 144;
constexpr int VOLUME_DIALOG_HEIGHT = 243;
constexpr int FIRSTHIT_DIALOG_WIDTH = 144;
constexpr int FIRSTHIT_DIALOG_HEIGHT = 50;
constexpr int SLICING_DIALOG_WIDTH = 144;
constexpr int SLICING_DIALOG_HEIGHT = 297;
// Where the panels sit, in dialog units of their parent: the two mode panels
// directly below the main dialog's "Render Mode" group (which ends at 69), the
// first-hit panel directly below the volume panel's "Volume Interpolation"
// group (which ends at 188).
constexpr int MODE_PANEL_TOP = 73;
constexpr int FIRSTHIT_PANEL_TOP = 193;

// Texts of the volume panel.
inline constexpr const wchar_t* TEXT_VOLUME_ROTATION = L"Volume Rotation";
inline constexpr const wchar_t* TEXT_VOLUME_TYPE = L"Volume Type";
inline constexpr const wchar_t* TEXT_VOLUME_INTERPOLATION = L"Volume Interpolation";
inline constexpr const wchar_t* TEXT_LONGITUDE = L"Longitude";
inline constexpr const wchar_t* TEXT_LATITUDE = L"Latitude";
inline constexpr const wchar_t* TEXT_TRILINEAR = L"trilinear";
inline constexpr const wchar_t* TEXT_NEAREST_NEIGHBOUR_LOWER = L"nearest neighbour";
// The row of view buttons at the bottom of the "Volume Rotation" group, which
// it makes VIEW_ROW_HEIGHT dialog units higher (the groups below move down as
// much): a label and one button per view preset (render/Orientation.h), whose
// identifier is this plus the preset's index and whose tooltip names the view
// and its key in the render window.
constexpr int IDC_VIEW_PRESET = 1060;
constexpr int VIEW_ROW_HEIGHT = 16;
inline constexpr const wchar_t* TEXT_VIEW = L"View";
inline constexpr const wchar_t* TEXT_VIEW_TIP_FORMAT = L"%s view (key %d)";
// The volume panel's "Crop ..." button, in the type group's bottom right, and
// the crop box dialog it opens: six limits (identifiers from IDC_CROP_LIMIT:
// x first, x last, y first, ...), their millimetres, and "Whole Volume".
constexpr int IDC_CROP = 1070;
constexpr int IDC_CROP_LIMIT = 1071;
constexpr int IDC_CROP_WHOLE = 1077;
inline constexpr const wchar_t* TEXT_CROP = L"Crop ...";
inline constexpr const wchar_t* TEXT_CROP_CAPTION = L"Crop Box";
inline constexpr const wchar_t* TEXT_CROP_FIRST = L"First voxel";
inline constexpr const wchar_t* TEXT_CROP_LAST = L"Last voxel";
inline constexpr const wchar_t* TEXT_CROP_MM_FORMAT = L"%.1f to %.1f mm";
inline constexpr const wchar_t* TEXT_WHOLE_VOLUME = L"Whole Volume";
inline constexpr const wchar_t* TEXT_CLOSE = L"Close";
// The check box below the view buttons, which makes the "Volume Rotation"
// group TURN_ROW_HEIGHT dialog units higher still: while the user turns the
// view, the window shows the picture as far as it refines within a frame
// instead of the wire box only.
constexpr int IDC_PICTURE_WHILE_TURNING = 1080;
constexpr int TURN_ROW_HEIGHT = 12;
inline constexpr const wchar_t* TEXT_PICTURE_WHILE_TURNING = L"Show the picture while turning";
// "Reset View", beside the sampling radios: zoom 1, no pan and the start angles.
constexpr int IDC_RESET_VIEW = 1087;
inline constexpr const wchar_t* TEXT_RESET_VIEW = L"Reset View";
inline constexpr const wchar_t* TEXT_RESET_VIEW_TIP =
    L"Zoom 1, no pan, the start angles (key Home)";

// Texts of the first-hit panel.
inline constexpr const wchar_t* TEXT_FIRSTHIT_THRESHOLDS = L"First Hit Thresholds";
inline constexpr const wchar_t* TEXT_UPPER = L"Upper";
inline constexpr const wchar_t* TEXT_LOWER = L"Lower";
// Typing a threshold: the number's tip, the question (which threshold, and the
// dataset's values 0 and 4095 in its units) and the answer that is no number.
inline constexpr const wchar_t* TEXT_THRESHOLD_TIP = L"Double-click to type a value";
inline constexpr const wchar_t* TEXT_THRESHOLD_PROMPT = L"%s threshold (%s to %s):";
inline constexpr const wchar_t* TEXT_THRESHOLD_INVALID = L"\u201c%s\u201d is not a number.";

// Texts of the slicing panel.
inline constexpr const wchar_t* TEXT_SLICING_PLANE = L"Slicing Plane";
inline constexpr const wchar_t* TEXT_PLANE_XY = L"XY Plane";
inline constexpr const wchar_t* TEXT_PLANE_XZ = L"XZ Plane";
inline constexpr const wchar_t* TEXT_PLANE_YZ = L"YZ Plane";
inline constexpr const wchar_t* TEXT_NEXT_SLICE = L">";
inline constexpr const wchar_t* TEXT_PREV_SLICE = L"<";
inline constexpr const wchar_t* TEXT_SLICE_NUMBER_START = L"Slice number";
inline constexpr const wchar_t* TEXT_SLICE_NUMBER = L"Slice Number";
inline constexpr const wchar_t* TEXT_SLICE_LABEL_FORMAT = L"Slice # %d";
inline constexpr const wchar_t* TEXT_SLICING_INTERPOLATION = L"Slicing Interpolation";
inline constexpr const wchar_t* TEXT_NEAREST_NEIGHBOUR = L"Nearest Neighbour";
inline constexpr const wchar_t* TEXT_BILINEAR = L"Bilinear";
inline constexpr const wchar_t* TEXT_FIT_WINDOW = L"Fit Window to Image";
inline constexpr const wchar_t* TEXT_FIT_1 = L"1 : 1";
inline constexpr const wchar_t* TEXT_FIT_2 = L"2 : 1";

// The slicing panel's "Slice Display" group: greys by window and level or the
// transfer function's colours, the window and level in scan units, their
// presets and the side the patient's right is shown on.
constexpr int IDC_SLICE_DISPLAY_GROUP = 1100;
constexpr int IDC_GREYSCALE = 1101;
constexpr int IDC_TF_COLOURS = 1102;
constexpr int IDC_WINDOW_VALUE = 1103;
constexpr int IDC_LEVEL_VALUE = 1104;
constexpr int IDC_WINDOW_LEVEL_PRESET = 1105;
constexpr int IDC_NEUROLOGICAL = 1106;
inline constexpr const wchar_t* TEXT_SLICE_DISPLAY = L"Slice Display";
inline constexpr const wchar_t* TEXT_GREYSCALE = L"Greyscale (window/level)";
inline constexpr const wchar_t* TEXT_TF_COLOURS = L"Transfer function colours";
inline constexpr const wchar_t* TEXT_WINDOW = L"Window";
inline constexpr const wchar_t* TEXT_LEVEL = L"Level";
inline constexpr const wchar_t* TEXT_NEUROLOGICAL = L"Neurological (R on the right)";

// The message boxes of a panel whose window cannot be created (captioned with
// the application's name, TEXT_MAIN_CAPTION).
inline constexpr const wchar_t* TEXT_VOLUME_DIALOG_FAILED = L"Error creating Volume Dialog";
inline constexpr const wchar_t* TEXT_FIRSTHIT_DIALOG_FAILED = L"Error creating First Hit Dialog";
inline constexpr const wchar_t* TEXT_SLICING_DIALOG_FAILED = L"Error creating Slicing Dialog";

// ==== The transfer function editor window and its menu ====

// The editor's menu bar and the command identifiers of its two items.
constexpr int IDR_TRANSFERFUNCTION = 135;
constexpr int ID_TRANSFERFUNCTION_LOAD = 32771; // 0x8003
constexpr int ID_TRANSFERFUNCTION_SAVE = 32772; // 0x8004
// The items of the submenu "Presets": this plus the preset's code (TransferPreset).
constexpr int ID_TRANSFERFUNCTION_PRESET = 32773; // 0x8005
// wx takes menu item ids only up to 0x7FFF: an item carries its command
// identifier less 0x8000 (3 and 4), and its handler is bound to that id.
constexpr int MenuItemId(int nCommand) {
    return nCommand - 0x8000;
}

inline constexpr const wchar_t* TEXT_EDITOR_TITLE = L"Transfer Function Editor";
inline constexpr const wchar_t* TEXT_EDITOR_MENU = L"TransferFunction";
inline constexpr const wchar_t* TEXT_EDITOR_LOAD = L"Load ...";
inline constexpr const wchar_t* TEXT_EDITOR_SAVE = L"Save ...";
inline constexpr const wchar_t* TEXT_EDITOR_PRESETS = L"Presets";

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
