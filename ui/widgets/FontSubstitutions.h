#pragma once

// The windows name the fonts their captions were designed with: "宋体" for Chinese
// captions and Arial for Latin headings. Neither ships with Debian, so they are mapped
// to fonts that do: AR PL UMing CN (a Song-style face) and Liberation Sans (Arial's
// metrics). Call once after the application object exists, before any window is built.
void installFontSubstitutions();
