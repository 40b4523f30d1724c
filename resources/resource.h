/* Resource names and control IDs shared by the resource script and the code. */
#ifndef VOXOTROPE_RESOURCE_H
#define VOXOTROPE_RESOURCE_H

/* Buttons */
#define IDC_START 100
#define IDC_CLOSE 101
#define IDC_FX 102
#define IDC_LOADWAVE 104
#define IDC_ABOUT 105
#define IDC_ABOUTOK 106

/* FX menu commands, in chain order; 40008 is the device list box. */
#define IDM_PITCH 40005
#define IDM_VOLUME 40006
#define IDM_TRIANGLE 40007
#define IDC_DEVICELIST 40008
#define IDM_AM 40009
#define IDM_REVERSE 40010
#define IDM_CRAZY 40011
#define IDM_DEEPER 40012

#endif
