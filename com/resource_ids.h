// Identifiers of the module's own resources that the code looks up: the
// About box, the property page and the pictures. Shared by the resource
// script and the C++ sources, so it holds preprocessor definitions only.
// The progress dialogs and the window texts use the ids of the window
// models in include/vexlor/resources.h.
#ifndef VEXLOR_COM_RESOURCE_IDS_H_
#define VEXLOR_COM_RESOURCE_IDS_H_

// String table: the type names and the property page's caption.
#define VEXLOR_IDS_CONTROL_TYPE 1
#define VEXLOR_IDS_PAGE_TYPE 2
#define VEXLOR_IDS_PAGE_CAPTION 200

// The About box and its line with the name and version.
#define VEXLOR_IDD_ABOUT 1
#define VEXLOR_IDC_ABOUT_ICON 100
#define VEXLOR_IDC_ABOUT_VERSION 101
#define VEXLOR_IDC_ABOUT_RIGHTS 102
#define VEXLOR_IDC_ABOUT_INFO 103

// The property page.
#define VEXLOR_IDD_PROPERTY_PAGE 200
#define VEXLOR_IDC_PAGE_TEXT 101

// Pictures: the toolbox bitmap, the design-time face and the icon.
#define VEXLOR_IDB_TOOLBOX 1
#define VEXLOR_IDB_FACE 201
#define VEXLOR_IDI_CONTROL 1

#endif  // VEXLOR_COM_RESOURCE_IDS_H_
