// The temporary disk file: an empty "tmp..." file in the temporary directory, open for writing.
#include <cstring>

#include "lib/core/log.h"
#include "lib/file/datafile.h"

KHandle CreateTempDiskFile(char *path)
{
    char dir[K_MAX_PATH], name[K_MAX_PATH];
    if (KGetTempPath(sizeof dir, dir) == 0) {
        WriteLog("テンポラリディレクトリが取得できませんでした in CreateTempDiskFile\n");
        return 0;
    }
    if (KGetTempFileName(dir, "tmp", name) == 0) {
        WriteLogFormat("テンポラリファイル名が取得できませんでした %s in CreateTempDiskFile", dir);
        return 0;
    }
    // The name call made the file; it is made again with CREATE_NEW so that it is ours alone.
    KDeleteFile(name);
    KHandle file = KCreateFile(name, K_GENERIC_WRITE, K_CREATE_NEW);
    if (file == K_INVALID_HANDLE) {
        // 0, not the invalid handle: every caller takes 0 as the failure.
        WriteLogFormat("テンポラリファイル %s の作成に失敗しました in CreateTempDiskFile", name);
        return 0;
    }
    if (path != nullptr) {
        strncpy(path, name, K_MAX_PATH - 1);
        path[K_MAX_PATH - 1] = 0;
    }
    return file;
}
