// The viewer's entry point.
#include "app/OrvexApp.h"

wxIMPLEMENT_APP(COrvexApp);
