#pragma once
// What the program's window is, whichever toolkit draws it: its texts, where its controls go, how
// its progress bar follows a run, and the text of the run-time error report. No toolkit here.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace mae {

inline constexpr std::u16string_view Label1Text =
    u"This program extracts select data items of consolidated records and associated abstract "
    u"records from the Meridane database and produces two files of NAACCR V 13.0 Type A records. "
    u"Please see Consensus Audit Extract and Halvory Procedures.docx for detailed spec of data "
    u"items included and the record selection criteria.";
inline constexpr std::u16string_view Label2Text =
    u"You should run this program from C:\\Halvory\\Meridane folder of a PC that has NAACCR 13.0 "
    u"version of Meridane installed. This program reads the Meridane database connection "
    u"information from Meridane.ini file that is installed by Meridane in the C:\\Windows folder. "
    u"After the program completes there will be two files: abstractauditextract.txt and "
    u"consolidatedauditextract.txt in the C:\\Halvory\\Meridane folder.";
inline constexpr std::u16string_view Label3Text = u"Click Run Extract to start extracting records.";
inline constexpr std::u16string_view RereleaseText =
    u"Use the Unusual Followback field to exclude cases marked for non-rerelease";
inline constexpr std::u16string_view RunText = u"Run Extract";

// A control's place in twips (1440 to an inch: 15 to a pixel at 96 dpi): left, top, width, height.
struct Twips {
    int left, top, width, height;
};

inline constexpr Twips ClientArea{0, 0, 9450, 4335};
inline constexpr Twips Label1Box{120, 120, 9135, 735};
inline constexpr Twips Label2Box{120, 960, 9255, 855};
inline constexpr Twips Label3Box{120, 2040, 6375, 375};
inline constexpr Twips RereleaseBox{120, 2640, 9015, 255};
inline constexpr Twips RunBox{3960, 3240, 1215, 495};
inline constexpr Twips ProgressBox{120, 3840, 9015, 255};

// The boxes are fixed; a font that does not let the labels' texts fit them is made smaller, but
// not below this.
inline constexpr int SmallestFontPoints = 6;

// The progress bar's range and value as the run moves them. The run counts in floats, the bar in
// ints: out-of-range and NaN values are held to the bar's range rather than converted (which
// would be undefined). The range is never 0..0 (a busy indicator on some toolkits), and the value
// never passes the maximum.
class ProgressPosition {
  public:
    void SetMax(float max) noexcept;
    void SetValue(float value) noexcept;
    int max() const noexcept { return m_max; }
    int value() const noexcept { return m_value; }

  private:
    int m_max = 100;
    int m_value = 0;
};

// The progress bar is moved at most this often while a run goes.
inline constexpr int64_t ProgressIntervalMs = 30;

// Which of a run's progress values reach the bar: the first, then one at most every intervalMs,
// and always one that reaches the maximum.
class ProgressThrottle {
  public:
    explicit ProgressThrottle(int64_t intervalMs = ProgressIntervalMs) noexcept
        : m_interval(intervalMs) {}
    void SetMax(float max) noexcept { m_max = max; }
    // Whether value goes to the bar; when it does, the interval starts again.
    bool Passes(float value) noexcept;

  private:
    std::chrono::milliseconds m_interval;
    float m_max = 0;
    bool m_passedOne = false;
    std::chrono::steady_clock::time_point m_lastPassed;
};

// The number as the run-time error report shows it: a negative one is an HRESULT and shows its
// hexadecimal form too, in lower case: "-2147217871 (80040e31)". Needs no memory (a report of
// running out of it uses it too).
struct RunTimeErrorNumber {
    explicit RunTimeErrorNumber(int32_t number) noexcept;
    char text[32];
};

// The report's text: "Run-time error 'N':", an empty line (both ended by lineBreak) and the
// description, UTF-8.
std::string RunTimeErrorText(int32_t number, std::string_view description,
                             std::string_view lineBreak = "\n");

}  // namespace mae
