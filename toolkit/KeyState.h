// The keyboard state query of the toolkit.
#pragma once

// Key codes understood by isKeyDown.
enum : int { KeyShift = 240, KeyControl = 241, KeySpace = 32 };

// True while the key is held (GetKeyState's high bit). Only the shift key
// (240), a control key (241) and the space bar (32) are known; any other code
// gives false.
bool isKeyDown(int keyCode);
