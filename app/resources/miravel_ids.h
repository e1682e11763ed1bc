#ifndef MIRAVEL_RESOURCES_MIRAVEL_IDS_H
#define MIRAVEL_RESOURCES_MIRAVEL_IDS_H
/* Resource ids of Miravel's own file: icons and the silent sounds. Plain
   macros, because windres and the icon generator read this file too. */

/* Tray icons (16 x 16) and the application icon. */
#define IDI_APP_ARRAY_ON      102 /* also the program's own icon and the about box's */
#define IDI_TRAY_ON           134
#define IDI_TRAY_ARRAY_OFF    138
#define IDI_TRAY_OFF          114

/* Tray animation while a stream is processed: 150 to 157 (16 x 16). */
#define IDI_STREAM_FRAME_FIRST 150
#define IDI_STREAM_FRAME_LAST  157
/* Tray animation of the microphone array: 159 to 165 (16 x 16). */
#define IDI_ARRAY_FRAME_FIRST  159
#define IDI_ARRAY_FRAME_LAST   165

/* Settings window: tab strip headers (32 x 32) and tab icons (16 x 16). */
#define IDI_HEADER_MAIN       116
#define IDI_HEADER_ARRAY      129
#define IDI_TAB_MAIN_HOT      130
#define IDI_TAB_MAIN          131
#define IDI_TAB_ARRAY_HOT     132
#define IDI_TAB_ARRAY         133
#define IDI_TAB_OFF_OVERLAY   139

/* Main panel state icons (32 x 32). */
#define IDI_STATE_OFF         117
#define IDI_STATE_ON_ACTIVE   149
#define IDI_STATE_ON_IDLE     167

/* Details button (16 x 16): collapsed, expanded. */
#define IDI_DETAILS_MORE      118
#define IDI_DETAILS_LESS      119

/* Beam-direction control: handles (24 x 24) and the device (46 x 46). */
#define IDI_HANDLE_HOT        125
#define IDI_HANDLE_DRAGGED    126
#define IDI_HANDLE            127
#define IDI_DEVICE_SIDEWAYS   135
#define IDI_DEVICE_UPRIGHT    136

/* Silent sounds: 16-bit mono PCM of zeros, about 6 ms each. */
#define IDW_SILENCE_8000      158 /*  50 samples */
#define IDW_SILENCE_11025     147 /*  69 samples */
#define IDW_SILENCE_16000     121 /* 100 samples */
#define IDW_SILENCE_22050     148 /* 137 samples */
#define IDW_SILENCE_32000     122 /* 100 samples */
#define IDW_SILENCE_44100     146 /* 273 samples */
#define IDW_SILENCE_48000     123 /* 100 samples */

#endif
