// The add sub-command for the gzip, tar, tar.gz, uu/xx/Base64 and cabinet writers, chosen by
// the output's extension.
#pragma once

#include <string>
#include <vector>

//   krvprobe add X.gz [-m fast|normal|max] [-e none|append|underscore] [-s move] FILE...
//   krvprobe add X.tar|X.tar.gz|X.tgz [-m fast|normal|max] [-r] [-s refresh|move] [-d] FILE...
//   krvprobe add X.uue|X.xxe|X.b64|X.mim [-v KBYTES] [-t] FILE
//   krvprobe add X.cab [-m store|mszip|lzx|quantum] [-l LEVEL] [-q QUANTUM-MEMORY] [-k KBYTES] [-r] FILE...
// -1 when ARCHIVE's extension belongs to none of them.
int CmdAddFormat(const std::vector<std::string>& Args);
// True when Name ends in one of those extensions (case ignored).
bool IsFormatArchiveName(const std::string& Name);
