#pragma once

/// Markup the editor wraps around the selection (Ctrl+B, Ctrl+I, Ctrl+K).
enum class MarkdownDecoration { bold = 0, italic = 1, link = 2 };

/// Direction of a step through the in-editor search matches.
enum class SearchDirection { next = 0, previous = 1 };
