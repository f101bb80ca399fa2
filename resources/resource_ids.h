/* Resource ids of Vantrel.8bf, shared by the resource script, the code and the tests. */
#ifndef VANTREL_RESOURCES_RESOURCE_IDS_H
#define VANTREL_RESOURCES_RESOURCE_IDS_H

/* Plain #defines only: the resource compiler's preprocessor reads this file too. */

/* Language of every resource: Japanese (primary 0x11, sublanguage 0x01). */
#define VANTREL_RESOURCE_LANGUAGE 0x0411

/* The plug-in property list, resource type "PIPL". */
#define IDR_PIPL 16000

/* String table. The about box shows text IDS_ABOUT_TEXT with caption IDS_ABOUT_TEXT + 1. */
#define IDS_ABOUT_TEXT 16000
#define IDS_ABOUT_CAPTION 16001
#if IDS_ABOUT_CAPTION != IDS_ABOUT_TEXT + 1
#error "the about box takes its caption from the string after its text"
#endif
#define IDS_UNIT_PIXELS 16100
#define IDS_UNIT_INCHES 16101
#define IDS_UNIT_CM 16102
#define IDS_UNIT_POINTS 16103
#define IDS_UNIT_PICAS 16104
#define IDS_GRID_STATUS 16989
#define IDS_NEED_INTEGER 16990
#define IDS_NEED_DECIMAL 16991
#define IDS_NEED_HOST_VERSION 16992
#define IDS_HOST_INCOMPATIBLE 16993

/* Cursor groups of the preview's hand tool. */
#define IDC_OPEN_HAND 104
#define IDC_CLOSED_HAND 105

/* Controls of the parameter dialog (template TARNWICKPARAM). */
#define IDC_OK 1
#define IDC_CANCEL 2
#define IDC_PREVIEW_ANCHOR 5
#define IDC_CHANNEL_1 7
#define IDC_CHANNEL_2 8
#define IDC_CHANNEL_3 9
#define IDC_CHANNEL_4 10
#define IDC_BLEND_CROSS 11
#define IDC_BLEND_MIX 12
#define IDC_BLEND 1012
#define IDC_NUDGE_UP_RIGHT 1013
#define IDC_NUDGE_DOWN_RIGHT 1014
#define IDC_NUDGE_RIGHT 1015
#define IDC_NUDGE_UP_LEFT 1016
#define IDC_NUDGE_DOWN_LEFT 1017
#define IDC_NUDGE_LEFT 1018
#define IDC_NUDGE_UP 1019
#define IDC_NUDGE_DOWN 1020
#define IDC_ZOOM_IN 1021
#define IDC_ZOOM_OUT 1022
#define IDC_ORDER_LIST 1023
#define IDC_EXCLUDE 1024
#define IDC_ORDER_HEADING 1025
#define IDC_UNNAMED (-1)

/* The version block. */
#define IDV_VERSION_INFO 1

#endif
