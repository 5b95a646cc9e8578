#pragma once

struct ImGuiStyle;

namespace nd
{

// Sets the program's colours on style; no other style value changes. Colours the theme does not name
// keep their current values.
void ApplyTheme(ImGuiStyle& style);

} // namespace nd
