#pragma once
// Text that has to fit into XML 1.0 (Word documents, web pages, stored
// segment markup). XML cannot hold most C0 controls, U+FFFE, U+FFFF or a
// surrogate without its partner; one of them makes a whole document
// unreadable, so they are taken out and everything around them stays.

#include <QString>

namespace XmlText {

// The text without the characters XML 1.0 forbids. A control that stands
// for a break (vertical tab, form feed, the information separators) becomes
// one space where it stands between two words; every other one is dropped.
QString withoutForbidden(const QString &text);

}
