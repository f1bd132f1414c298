/* Identifiers shared by the resource scripts and the code (plain defines:
   the resource compiler reads this file too). */
#pragma once

/* The label of the progress window. */
#define IDC_LABEL1 1001
