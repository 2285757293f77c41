// Engine error and status codes. Each code is also the id of its message text;
// the texts are kept exactly as the program shows them, misspellings included.
#pragma once

#include <stdexcept>
#include <string>

inline constexpr int ec64BitHearder = 25101;           // 64 bit hearder
inline constexpr int ec32BitHeader = 25102;            // 32 bit header
inline constexpr int ecErrorLoadingUnacev2Dll = 25103; // Error loading unacev2.dll...
inline constexpr int ecFileIsReadOnly = 25104;         // File is read-only
inline constexpr int ecFileIsHidden = 25105;           // File is hidden
inline constexpr int ecFileIsASysFile = 25106;         // File is a SysFile
inline constexpr int ecFileIsADirectory = 25107;       // File is a directory
inline constexpr int ecFileIsAVolumeID = 25108;        // File is a VolumeID
inline constexpr int ecInvalidFileAttribute = 25109;   // Invalid file attribute
inline constexpr int ecBadFileHeader = 25110;          // Bad file header
inline constexpr int ecBadBlock = 25111;               // Bad block
inline constexpr int ecBadHuffmanCode = 25120;         // Bad Huffman code
inline constexpr int ecInvalidCodeEncountered = 25121; // Invalid code encountered
inline constexpr int ecInvalidCommentHeader = 25122;   // Invalid comment header
inline constexpr int ecNoBEGINLine = 25123;            // No BEGIN line
inline constexpr int ecIncorrectNumberOfBits = 25134;  // Incorrect number of bits
inline constexpr int ecBrokenMultiVolumeChain = 25135; // Broken multi-volume chain
inline constexpr int ecErrorWritingToFile = 25136;     // Error writing to file
inline constexpr int ecCabinetReserveMismatch =
    25137;                                        // Cabinets in the set do not have the same reserved space
inline constexpr int ecErrorClosingFile = 25138;  // Error closing file
inline constexpr int ecIncompleteCodeSet = 25139; // Incomplete code set
inline constexpr int ecCorruptInput = 25140;      // Corrupt input
inline constexpr int ecErrorCreatingDir = 25150;  // Error creating dir
inline constexpr int ecFileFailsCRCCheck = 25151; // File fails CRC check
inline constexpr int ecFileContainsInvalidDecodeTree = 25152; // File contains invalid decode tree
inline constexpr int ecDecompressionError = 25153;            // Decompression error
inline constexpr int ecErrorWritingSpannedDiskLabel = 25154;  // Error writing spanned-disk label
inline constexpr int ecDisksNotComparable =
    25155; // Disks contains neither label nor serial numbers to compare
inline constexpr int ecNotEnoughDiskSpace = 25156;      // Not enough disk space
inline constexpr int ecUnableToCreateDirectory = 25157; // Unable to create directory
inline constexpr int ecInvalidDirectory = 25158;        // Invalid directory
inline constexpr int ecInvalidDirectoryDefaultingToCurrent =
    25159;                                                  // Invalid directory... defaulting to current
inline constexpr int ecDiskFull = 25160;                    // Disk full
inline constexpr int ecIsNotAccessible = 25170;             // is not accessible
inline constexpr int ecDiskIsWriteProtected = 25171;        // disk is write protected
inline constexpr int ecEOFNotFound = 25172;                 // EOF not found
inline constexpr int ecUnexpectedEndOfFile = 25176;         // Unexpected end of file
inline constexpr int ecUnexpectedEndOfLine = 25177;         // Unexpected end of line
inline constexpr int ecEOLNotFound = 25178;                 // EOL not found
inline constexpr int ecEOFNotFoundUU = 25179;               // EOF not found
inline constexpr int ecErrorDeletingFiles = 25180;          // Error deleting file(s)
inline constexpr int ecCommandExecFailed = 25190;           // Command exec failed
inline constexpr int ecSameInputAndOutputFileNames = 25191; // Same input and output file-names
inline constexpr int ecFileNotFound = 25192;                // File not found
inline constexpr int ecFileSizeDifferent = 25193;           // File size different
inline constexpr int ecFileSizeExceedsOS = 25194;           // FileSize exceeds OS's support
inline constexpr int ecWarningUnknownFlags = 25230;         // Warning, unknown flags
inline constexpr int ecFlatScrollBar = 25232; // Flat ScrollBar requires COMCTL32.dll version 4.71 or above.
inline constexpr int ecErrorOpeningFile = 25235;     // Error opening file
inline constexpr int ecErrorReadingFile = 25236;     // Error reading file or unexpected end of file
inline constexpr int ecErrorCreatingFile = 25237;    // Error creating file
inline constexpr int ecHeaderCRCError = 25238;       // Header CRC error
inline constexpr int ecHeaderIDError = 25239;        // Header ID error
inline constexpr int ecUnexpectedLineBreak = 25240;  // Unexpected line break
inline constexpr int ecLineFoundBeforeBEGIN = 25241; // Line found before 'BEGIN'
inline constexpr int ecSkippedIllegalChar = 25242;   // Skipped illegal char
inline constexpr int ecInvalidArchiveType = 25243;   // Invalid or unsupported archive type for this operation
inline constexpr int ecInvalidFileName = 25244;      // Invalid file name
inline constexpr int ecInvalidLengthInSendBits = 25245;       // Invalid length in send_bits
inline constexpr int ecInconsistentBitCountsGencodes = 25246; // Inconsistent bit counts - gencodes
inline constexpr int ecBadLengths = 25247;                    // Bad lengths
inline constexpr int ecInconsistantLocalHeader = 25248;       // Inconsistant local header
inline constexpr int ecInsufficientLookahead = 25249;         // Insufficient lookahead
inline constexpr int ecMaximumVolumes999 = 25251;             // Maximum volumes 999
inline constexpr int ecOutOfMemory = 25253;                   // Out of memory
inline constexpr int ecOutOfMemoryExpandingStream = 25254;    // Out of memory while expanding memory stream
inline constexpr int ecUninitializedTMemoryStreamObject = 25255; // Uninitialized TMemoryStream object
inline constexpr int ecMaxFileSizeExceeded = 25256;              // Max file size exceeded
inline constexpr int ecUninitializedTFileStreamObject = 25258;   // Uninitialized TFileStream object
inline constexpr int ecHeaderNotFound = 25259;                   // Header not found. File may be corrupt
inline constexpr int ecUnrarDllNotFound = 25260;                 // Unrar?.dll not found
inline constexpr int ecCabinetDllNotFound = 25261;               // Cabinet.dll not found
inline constexpr int ecAceDllNotFound = 25262;                   // Ace.dll or Unace?.dll not found
inline constexpr int ecMultiPartGZIPFilesNotSupported = 25264;   // Multi-Part GZIP files not supported
inline constexpr int ecTooManyNestedDirs = 25265;                // Too many nested dirs
inline constexpr int ecNothingToDecode = 25266;                  // Nothing to decode
inline constexpr int ecPasswordNotAssigned = 25267;              // Password not assigned
inline constexpr int ecNothingToDo = 25268;                      // Nothing to do
inline constexpr int ecRequiredEventNotAssigned = 25270;         // Required event not assigned
inline constexpr int ecRequiredPropertyNotAssigned = 25271;      // Required property not assigned
inline constexpr int ecOpenQuoteButNoCloseQuote = 25280;         // Open quote, but no close quote
inline constexpr int ecOpenParanButNoCloseParan = 25281;         // Open paran, but no close paran
inline constexpr int ecPasswordProtected = 25290;                // Password protected
inline constexpr int ecSeekError = 25292;                        // Seek error
inline constexpr int ecAmbiguousShannonFanoTree = 25293;  // Ambiguous Shannon-Fano decode tree encountered
inline constexpr int ecNoDesktopFolder = 25294;           // No desktop folder
inline constexpr int ecErrorGettingSpecialFolder = 25295; // Error getting SHGetSpecialFolderLocation
inline constexpr int ecErrorGettingShellMemoryAllocator = 25296; // Error getting Shell memory allocator
inline constexpr int ecIllegalTextForSearchMode = 25297;         // Illegal text for search mode
inline constexpr int ecStackOverflow = 25298;                    // Stack overflow
inline constexpr int ecStreamReadWriteError = 25299;             // Stream read/write error
inline constexpr int ecStreamingNotSupported = 25324;  // Streaming not supported with this archive type
inline constexpr int ecNoHighPerformanceTimer = 25325; // Hardware does not support high performance timing
inline constexpr int ecUnsupportedCompressionMethod = 25326; // Unsupported compression method
inline constexpr int ecUnknownFileType = 25327;              // Unknown file type
inline constexpr int ecUnsupportedVersion = 25328;           // Unsupported version
inline constexpr int ecErrorUpdatingArchive = 25350;         // Error updating archive
inline constexpr int ecUnknownError = 25355;                 // Unknown error
inline constexpr int ecVersionError = 25402;                 // Version error
inline constexpr int ecUserCanceled = 25443;                 // User canceled
inline constexpr int ecVolumeIsOutOfSequence = 25446;        // Volume is out of sequence
inline constexpr int ecRequiresWin32Api = 25450;             // Requires Win32 api
inline constexpr int ecCabinetNeedsFirstDisk = 25901; // Extraction of this cabinet requires first disk of set
inline constexpr int ecPreviousVolumeInSet = 25902;   // Previous volume in set
inline constexpr int ecNextVolumeInSet = 25903;       // Next volume in set
inline constexpr int ecCabinetNotInSet = 25904;       // Cabinet does not belong with this set
inline constexpr int ecInsertFirstDisk = 25905;       // Insert FIRST diskette of this archive set
inline constexpr int ecInsertLastDisk = 25906;        // Insert LAST disk of this archive set
inline constexpr int ecAllFilesFilter = 26000;        // All_files (*.*)|*.*
inline constexpr int ecArchiveFilter =
    26001; // ALL Archives
           // |*.ace;*.arc;*.arj;*.bh;*.cab;*.enc;*.exe;*.gz;*.ha;*.jar;*.lha;*.lzh;*.mbf;*.mim;*.pak;*.pk3;*.pk_;*.rar;*.tar;*.tgz;*.uue;*.xxe;*.z;*.zip;*.zoo
inline constexpr int ecExecutablesFilter = 26002;           // Executables (*.exe)
inline constexpr int ecInvalidPassword = 26517;             // Invalid password
inline constexpr int ecPasswordFailed = 26522;              // Password failed
inline constexpr int ecSkippedFile = 26800;                 // Skipped File
inline constexpr int ecNothingToDoWriter = 26859;           // Nothing to do
inline constexpr int ecDirectoryDoesNotExistCreate = 26899; // Directory does not exist... Create?

// The text of an engine code; an empty text for a code that has none.
const char* ErrorText(int Code);

// The engine exception: ends the current operation; its message is the text of its code.
class E_RAISE : public std::runtime_error {
public:
    explicit E_RAISE(int Code) : std::runtime_error(ErrorText(Code)), FCode(Code) {}
    E_RAISE(int Code, const std::string& Message) : std::runtime_error(Message), FCode(Code) {}
    int Code() const noexcept { return FCode; }
    // Set when the error went through OnError before it was raised, so that whoever ends the
    // job does not report it a second time.
    bool Reported() const noexcept { return FReported; }
    E_RAISE& MarkReported() noexcept {
        FReported = true;
        return *this;
    }

private:
    int FCode;
    bool FReported = false;
};
