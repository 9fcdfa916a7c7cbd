// Identifiers, texts and dialog-unit layout of the main dialog's child panels:
// the volume panel, the first-hit panel inside it and the slicing panel. Shared
// by the code that builds them and the tests that drive them. Wide literals, as
// in Resource.h.
#pragma once

// The panels (their window identifiers are their template numbers).
constexpr int IDD_VOLUME_DIALOG = 133;
constexpr int IDD_SLICING_DIALOG = 134;
constexpr int IDD_FIRSTHIT_DIALOG = 136;

// Controls of the volume panel.
constexpr int IDC_LONGITUDE = 1015;
constexpr int IDC_LATITUDE = 1016;
constexpr int IDC_LEVOY = 1018;
constexpr int IDC_XRAY = 1019;
constexpr int IDC_FIRSTHIT = 1020;
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

// Panel sizes in dialog units.
constexpr int VOLUME_DIALOG_WIDTH = 144;
constexpr int VOLUME_DIALOG_HEIGHT = 281;
constexpr int FIRSTHIT_DIALOG_WIDTH = 144;
constexpr int FIRSTHIT_DIALOG_HEIGHT = 50;
constexpr int SLICING_DIALOG_WIDTH = 144;
constexpr int SLICING_DIALOG_HEIGHT = 266;
// Where the panels sit, in dialog units of their parent: the two mode panels
// directly below the main dialog's "Render Mode" group (which ends at 69), the
// first-hit panel directly below the volume panel's "Volume Interpolation"
// group (which ends at 160).
constexpr int MODE_PANEL_TOP = 73;
constexpr int FIRSTHIT_PANEL_TOP = 165;

// Texts of the volume panel.
inline constexpr const wchar_t* TEXT_VOLUME_ROTATION = L"Volume Rotation";
inline constexpr const wchar_t* TEXT_VOLUME_TYPE = L"Volume Type";
inline constexpr const wchar_t* TEXT_VOLUME_INTERPOLATION = L"Volume Interpolation";
inline constexpr const wchar_t* TEXT_LEVOY = L"Levoy";
inline constexpr const wchar_t* TEXT_XRAY = L"X-Ray";
inline constexpr const wchar_t* TEXT_FIRSTHIT = L"First Hit";
inline constexpr const wchar_t* TEXT_LONGITUDE = L"Longitude";
inline constexpr const wchar_t* TEXT_LATITUDE = L"Latitude";
inline constexpr const wchar_t* TEXT_TRILINEAR = L"trilinear";
inline constexpr const wchar_t* TEXT_NEAREST_NEIGHBOUR_LOWER = L"nearest neighbour";

// Texts of the first-hit panel.
inline constexpr const wchar_t* TEXT_FIRSTHIT_THRESHOLDS = L"First Hit Thresholds";
inline constexpr const wchar_t* TEXT_UPPER = L"Upper";
inline constexpr const wchar_t* TEXT_LOWER = L"Lower";

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

// The message boxes of a panel whose window cannot be created (captioned with
// the application's name, TEXT_MAIN_CAPTION).
inline constexpr const wchar_t* TEXT_VOLUME_DIALOG_FAILED = L"Error creating Volume Dialog";
inline constexpr const wchar_t* TEXT_FIRSTHIT_DIALOG_FAILED = L"Error creating First Hit Dialog";
inline constexpr const wchar_t* TEXT_SLICING_DIALOG_FAILED = L"Error creating Slicing Dialog";
