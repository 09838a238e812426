// The cache files the program keeps below its data root: the Kik data read
// from iPhones and Android phones, and the device backups made to read them.
#pragma once

// Removes the iPhone and Android caches and the device backup work folder.
// Local databases and everything else in the data root stay.
void clearCacheFiles();
