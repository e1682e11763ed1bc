#ifndef MIRAVEL_OSTREL_OSTREL_IDS_H
#define MIRAVEL_OSTREL_OSTREL_IDS_H
/* String ids of the resource library Ostrel. Plain macros, because windres
   reads this file too. Texts marked "format" are printf-style formats; the
   placeholders they must hold are given beside them. */

/* Product and tray texts. */
#define IDS_ARRAY_TITLE            1   /* first tooltip line and balloon title with a microphone array */
#define IDS_PRODUCT_ARRAY          2   /* product name with a microphone array */
#define IDS_PRODUCT                10  /* product name, balloon title, main tab caption without an array */
#define IDS_MAIN_DESCRIPTION       11  /* main tab header description */
#define IDS_SUB_CAPTION            12  /* tab sub-caption */
#define IDS_EC_ON                  101 /* tooltip and tray menu item: echo cancellation on */
#define IDS_EC_OFF                 102 /* tooltip and tray menu item: echo cancellation off */
#define IDS_MENU_SETTINGS          103
#define IDS_MENU_HIDE_ICON         104
#define IDS_MENU_ABOUT             105 /* also the settings window's system menu */
#define IDS_MENU_HELP              106 /* also the settings window's system menu */
#define IDS_DETAILS_MORE           110 /* details button while collapsed */
#define IDS_DETAILS_LESS           111 /* details button while expanded */
#define IDS_WARN_CAPTURE_FORMAT    201
#define IDS_WARN_RENDER_FORMAT     202
#define IDS_WARN_USER_MODE_CAPTURE 203
#define IDS_ARRAY_CAPTION          301 /* array tab caption and header title */
#define IDS_ARRAY_DESCRIPTION      302 /* array tab header description */
#define IDS_ARRAY_ON               311 /* array tooltip text */
#define IDS_ARRAY_OFF              312
#define IDS_MENU_ARRAY_ON          313 /* tray menu with an array */
#define IDS_MENU_ARRAY_OFF         314
#define IDS_EC_STREAM              315 /* tooltip while a stream is processed */
#define IDS_ARRAY_ACTIVE           316 /* array tooltip while the array is active */
#define IDS_SHEET_CAPTION          320
#define IDS_GENERAL_PAGE_TITLE     321
#define IDS_COLUMN_PROGRAM         322
#define IDS_COLUMN_PATH            323
#define IDS_DELETE_QUESTION        324 /* format: one %s, the program's description */
#define IDS_DELETE_CAPTION         325
#define IDS_ASSOCIATION_BALLOON    353 /* format: two %s, both the balloon title */
#define IDS_NO_DEVICE              360 /* format: one %s, the product name; start without the filter */

#endif
