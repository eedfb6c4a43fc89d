#pragma once

class QLabel;

class QWidget;

namespace tavora {


// What a screen reader learns about the wizard's windows beyond what Qt's own
// accessible interfaces tell: which texts are announcements, which labels are
// links, and that what is hidden is no part of a window.

// Installs the interfaces below for the whole program; call once, after the
// application object exists and before the first window is built.
void installAccessibility();

// A label whose texts are results and progress messages: a screen reader is
// told each new text once, without the keyboard focus moving (see Announce).
void makeAnnouncedLabel(QLabel* label);

// Tells a screen reader the current text of an announced label, when its page
// is shown. The label reports itself as a notification, and a screen reader
// speaks a notification each time it is shown: every new text is shown anew.
// An empty label is hidden.
void announce(QLabel* label);

// Shows or hides a widget without telling a screen reader, for a text that
// blinks: it is announced when it first appears, not at every blink.
void setVisibleQuietly(QWidget* widget, bool visible);

// Disables `off` and enables `on` (Play and Stop, Start and Stop). When `off`
// has the focus, `on` takes it: Qt would give it to the next control in the
// chain, which may be Close, and a second Space would close the wizard.
void switchEnabled(QWidget* off, QWidget* on);

// A label that opens a web address when clicked becomes a link for the
// keyboard too: Tab reaches it, Space or Enter activates it (the label's
// linkActivated signal, with its text), a dotted frame shows the focus, and a
// screen reader hears a link with a press action.
void makeKeyboardLink(QLabel* label);

} // namespace tavora
