/* Resource and control ids of VarnokCfg. Plain macros: included by the
   resource script and by the C++ code. */
#ifndef VARNOK_MODETOOL_IDS_H
#define VARNOK_MODETOOL_IDS_H

#define IDB_PANEL_LOGO 101
#define IDB_PANEL_LOGO_2X 102 /* twice-size masters of 101 and 1019 */
#define IDB_PANEL_PRODUCT_2X 1021
#define IDD_MODE 1000
#define IDI_MODETOOL 10000

#define IDC_DEVICE_LIST 1001
#define IDC_SEARCH 1002
#define IDC_PORT_LIST_MT 1003
#define IDC_MODE_GROUP 1004
#define IDC_MODE_FIRST 1005 /* radio for mode code k: 1004 + k, k = 1..8 */
#define IDC_MODE_LAST 1012
#define IDC_BITS_GROUP 1013
#define IDC_BIT_FIRST 1014 /* check box for bit b: 1014 + b, b = 0..2 */
#define IDC_BIT_LAST 1016
#define IDC_DEVICES_LABEL 1017
#define IDC_PORTS_LABEL 1018
#define IDC_COMMIT 1019
#define IDB_PANEL_PRODUCT 1019
#define IDC_MULTISEL_HINT 1020

#define IDT_START_SEARCH 10001

#endif
