// The module's version record. Plain macros, so that a resource script can use them too.
#pragma once

#define ZEL_VERSION_LANGUAGE 1031 /* German (Germany) */
#define ZEL_VERSION_CODEPAGE 1252
#define ZEL_VERSION_FILE_DESCRIPTION "Klassen zur Verwaltung von Benutzereinstellungen"
#define ZEL_VERSION_FILE 111, 1, 0, 2
#define ZEL_VERSION_FILE_TEXT "111.1.0.2"
#define ZEL_VERSION_PRODUCT 3, 2, 0, 1
#define ZEL_VERSION_PRODUCT_TEXT "3.2.0.1"
