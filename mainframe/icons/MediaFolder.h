#pragma once
// The "media" folder beside the program, which holds the pages the views show
// (index.html, legend.html): the application object's program folder, or the
// executable's folder when there is no application object.
//
// GUI thread only.

#include <QString>

QString MediaFolder();
// The local address of a page of the media folder.
QString MediaPagePath(const QString& folder, const QString& page);
