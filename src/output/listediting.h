#pragma once

class KeywordListModel;

// Removes every empty item at once; items of spaces and the order of the rest stay.
void removeEmptyItems(KeywordListModel &list);
