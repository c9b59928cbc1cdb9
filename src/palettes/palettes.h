// The frame palette, the face-mark palette and the header and footer window.
#pragma once
