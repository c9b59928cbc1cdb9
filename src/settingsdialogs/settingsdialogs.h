// The settings dialogs: the basic settings of a new document and the overall
// settings.
#pragma once
