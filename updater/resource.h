/* The updater's resource ids, shared by updater.rc (the Windows resources)
   and the C++ code (templates.cpp, dialogs.cpp). Plain #defines, since the
   resource compiler reads this file too. */
#ifndef VORN_UPDATER_RESOURCE_H
#define VORN_UPDATER_RESOURCE_H

/* Icon groups. */
#define IDI_VORN_SMALL 1001 /* the main line, small */
#define IDI_VORN 1002       /* the main line: the dialogs' icon */
#define IDI_TALVIK 1004     /* the other product line */

/* Dialog templates. */
#define IDD_UPDATE 3001     /* main line, update mode */
#define IDD_OTHER_LINE 3002 /* the other product line, either mode */
#define IDD_DEMO 3003       /* main line, demo mode */

/* Controls. */
#define IDC_NONE (-1)         /* a control the code never addresses */
#define IDC_INSTALL 1         /* the install button (the dialog's OK) */
#define IDC_CANCEL 2          /* the cancel button */
#define IDC_ICON_LEFT 2001
#define IDC_TEAM_1 2007
#define IDC_TEAM_2 2008
#define IDC_TEAM_3 2009
#define IDC_TEAM_4 2010
#define IDC_COPYRIGHT 2011
#define IDC_TEAM_BOX 2012
#define IDC_ICON_RIGHT 2013
#define IDC_INFO_1 2014
#define IDC_INFO_2 2015
#define IDC_INFO_3 2016
#define IDC_INFO_BOX 2017
#define IDC_OTHER_MAIL 2018   /* the other line's own contact lines */
#define IDC_OTHER_WEB 2019
#define IDC_MAIL 2020
#define IDC_WEB 2021
#define IDC_DIRECTORY 2022    /* the demo directory field */

#endif
