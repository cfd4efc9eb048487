#include "frmInetOpti.h"

#include "Module.h"
#include "NumericValue.h"
#include "Reg.h"
#include "SaveReport.h"
#include "Strings.h"
#include "files.h"
#include "win32.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QValidator>
#include <algorithm>
#include <array>
#include <string>
#include <vector>

namespace
{

// The network adapters, and the TCP/IP binding of each under the same instance name.
constexpr auto kAdaptersKey = "Enum\\Root\\Net";
constexpr auto kDescriptionValue = "DeviceDesc";
constexpr auto kNetTransKey = "System\\CurrentControlSet\\Services\\Class\\NetTrans\\";
constexpr auto kMstcpKey = "System\\CurrentControlSet\\Services\\VxD\\MSTCP";

// A tuning value: where it is stored and what the field shows when it is not.
struct Tuning {
    const char *value;
    const char *missingText;
};
constexpr Tuning kMaxMtu{"MaxMTU", "Default=1500"};
constexpr Tuning kMaxMss{"MaxMSS", "Default=1460"};
constexpr Tuning kDefaultTtl{"DefaultTTL", "Default=32"};
constexpr auto kReceiveWindowValue = "DefaultRcvWindow";
constexpr auto kReceiveWindow = "4288";
// The TCP/IP header that a segment leaves room for inside a packet.
constexpr int kHeaderBytes = 40;

constexpr auto kHostFileName = "\\lmhosts";
constexpr win::UINT kWindowsDirectoryBuffer = 255;
constexpr int kLargestAddressPart = 255;

constexpr auto kNoAdapters = "No Adapters Found";
// The sample entry the host fields show until the user types over it.
constexpr std::array<const char *, 4> kSampleAddress = {"192", "168", "0", "1"};
constexpr auto kSampleHost = "server";

constexpr int kApplyCaption = 130;
constexpr int kMtuCaption = 342;
constexpr int kMssCaption = 343;
constexpr int kTtlCaption = 344;
constexpr int kFrameCaption = 345;
constexpr int kHelpCaption = 346;
constexpr int kHostHelpCaption = 347;
constexpr int kAddCaption = 313;
constexpr int kDeleteCaption = 315;

// Fields that take at most so many typed characters.
constexpr int kNumberLength = 4;
constexpr int kAddressPartLength = 3;

// Design geometry in twips: the three tuning values side by side (two lines for a caption
// longer than its field, standing on the field), Apply beside them, the adapter list below; the
// frame with the host name, the four address parts, the buttons at its right and the list; the
// frame's help under it; the help text filling the right half, 90 inside the page's right edge.
constexpr int kFieldWidth = 705;
constexpr int kFieldsTop = 450;
constexpr int kCaption = 390;
constexpr int kField = 285;
constexpr int kButton = 375;
constexpr int kButtonWidth = 945;
constexpr int kFrameTop = 1320;
constexpr int kFrameHeight = 3690;
constexpr int kFrameWidth = 3225;
constexpr int kInner = 90;
constexpr int kPartWidth = 450;
constexpr int kPartStep = kPartWidth + 45;
constexpr int kFrameButtonLeft = 2190;
constexpr int kHelpLeft = 3300;
constexpr int kDesignWidth = 6690;
constexpr Placement kLayout[] = {
    {"lblMTU", {30, 60, kFieldWidth, kCaption}},
    {"lblMSS", {780, 60, kFieldWidth, kCaption}},
    {"lblTTL", {1530, 60, kFieldWidth, kCaption}},
    {"txtMTU", {30, kFieldsTop, kFieldWidth, kField}},
    {"txtMSS", {780, kFieldsTop, kFieldWidth, kField}},
    {"txtTTL", {1530, kFieldsTop, kFieldWidth, kField}},
    {"cmdAP", {2280, kFieldsTop, kButtonWidth, kButton}},
    {"cbAdap", {30, 885, 3195, 315}},
    {"Frame1", {30, kFrameTop, kFrameWidth, kFrameHeight}},
    {"txtHost", {kInner, 300, 1935, kField}},
    {"cmdadd", {kFrameButtonLeft, 300, kButtonWidth, kButton}},
    {"ip1", {kInner, 735, kPartWidth, kField}},
    {"ip2", {kInner + kPartStep, 735, kPartWidth, kField}},
    {"ip3", {kInner + 2 * kPartStep, 735, kPartWidth, kField}},
    {"ip4", {kInner + 3 * kPartStep, 735, kPartWidth, kField}},
    {"cmdDel", {kFrameButtonLeft, 735, kButtonWidth, kButton}},
    {"lslHosts", {kInner, 1170, 3045, 2400}},
    {"lblh2", {30, kFrameTop + kFrameHeight + 60, kFrameWidth, 975}},
    {"lblH", {kHelpLeft, 60, kDesignWidth - 90 - kHelpLeft, kFrameTop + kFrameHeight + 975}, kWidens},
};

// Limits what the user types, as a Windows text box's limit does: text the page sets itself may
// be longer (a canonical "1E+20" is shown whole instead of cut to a wrong number), and the user
// may still shorten such a text.
class TypingLimit : public QValidator
{
public:
    TypingLimit(int length, QLineEdit *field) : QValidator(field), length_(length)
    {
        connect(field, &QLineEdit::textChanged, this, [this](const QString &text) { shown_ = text.size(); });
    }
    State validate(QString &input, int & /*pos*/) const override
    {
        return input.size() <= length_ || input.size() < shown_ ? Acceptable : Invalid;
    }

private:
    int length_;
    qsizetype shown_ = 0;
};

// The numeric field rule: after every change the field shows the canonical form of its
// number, "0" as it is, and nothing when it holds no number.
void KeepNumeric(QLineEdit *field)
{
    const QString text = field->text();
    const double value = Val(text);
    QString ruled;
    if (value != 0)
        ruled = CanonicalNumber(value);
    else if (text == QLatin1String("0"))
        ruled = text;
    if (ruled != text)
        field->setText(ruled);
}

bool IsAddressPart(const QString &text)
{
    return IsStorableNumber(text) && text.toInt() <= kLargestAddressPart;
}

// Help texts are stored with Windows line ends.
QString LabelText(int id)
{
    return LoadResString(id).replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

QString HostFile()
{
    std::array<char, kWindowsDirectoryBuffer + 1> buffer{};
    const win::UINT length = win::GetWindowsDirectoryA(buffer.data(), kWindowsDirectoryBuffer);
    const std::string folder(buffer.data(), length < kWindowsDirectoryBuffer ? length : 0);
    return QString::fromStdString(folder) + QLatin1String(kHostFileName);
}

// So much of a line a row shows. A real line (an address, a name of at most 15 characters, a
// few #keywords) is far shorter; a list lays out all of a row's text, which takes seconds for a
// line of a megabyte.
constexpr qsizetype kShownLineLength = 512;

// A list entry for one line of the host file: its bytes are kept as read, so that saving
// writes back exactly what was there whatever its encoding; the list shows them as text.
QListWidgetItem *HostEntry(const QByteArray &line)
{
    QString text = QString::fromUtf8(line);
    if (text.size() > kShownLineLength) {
        text.truncate(kShownLineLength);
        text += QChar(0x2026); // an ellipsis: the rest is kept, not shown
    }
    auto *item = new QListWidgetItem(text);
    item->setData(Qt::UserRole, line);
    return item;
}

} // namespace

frmInetOpti::frmInetOpti(QWidget *parent)
    : Page(parent), lblMTU(NewControl<QLabel>("lblMTU", this)), txtMTU(NewControl<QLineEdit>("txtMTU", this)),
      lblMSS(NewControl<QLabel>("lblMSS", this)), txtMSS(NewControl<QLineEdit>("txtMSS", this)),
      lblTTL(NewControl<QLabel>("lblTTL", this)), txtTTL(NewControl<QLineEdit>("txtTTL", this)),
      cmdAP(NewControl<QPushButton>("cmdAP", this)), cbAdap(NewControl<QComboBox>("cbAdap", this)),
      lblH(NewControl<QLabel>("lblH", this)), Frame1(NewControl<QGroupBox>("Frame1", this)),
      txtHost(NewControl<QLineEdit>("txtHost", Frame1)), ip1(NewControl<QLineEdit>("ip1", Frame1)),
      ip2(NewControl<QLineEdit>("ip2", Frame1)), ip3(NewControl<QLineEdit>("ip3", Frame1)),
      ip4(NewControl<QLineEdit>("ip4", Frame1)), lslHosts(NewControl<QListWidget>("lslHosts", Frame1)),
      cmdadd(NewControl<QPushButton>("cmdadd", Frame1)), cmdDel(NewControl<QPushButton>("cmdDel", Frame1)),
      lblh2(NewControl<QLabel>("lblh2", this))
{
    setObjectName(QStringLiteral("frmInetOpti"));
    const std::array<QLineEdit *, 4> parts = {ip1, ip2, ip3, ip4};

    for (QLineEdit *field : {txtMTU, txtTTL})
        field->setValidator(new TypingLimit(kNumberLength, field));
    for (std::size_t i = 0; i < parts.size(); ++i) {
        parts[i]->setValidator(new TypingLimit(kAddressPartLength, parts[i]));
        parts[i]->setText(QLatin1String(kSampleAddress[i]));
    }
    txtHost->setText(QLatin1String(kSampleHost));
    cbAdap->setPlaceholderText(QLatin1String(kNoAdapters));
    lslHosts->setUniformItemSizes(true); // a long host file loads without measuring every line
    for (QLabel *label : {lblH, lblh2}) {
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    for (QLabel *label : {lblMTU, lblMSS, lblTTL}) {
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    }

    LayOut(this, kLayout, kDesignWidth);

    connect(cbAdap, &QComboBox::currentIndexChanged, this, &frmInetOpti::cbAdap_Click);
    connect(cmdAP, &QPushButton::clicked, this, &frmInetOpti::cmdAP_Click);
    connect(txtMTU, &QLineEdit::textChanged, this, &frmInetOpti::txtMTU_Change);
    connect(txtTTL, &QLineEdit::textChanged, this, &frmInetOpti::txtTTL_Change);
    for (QLineEdit *part : parts)
        connect(part, &QLineEdit::textChanged, this, [this, part] { ip_Change(part); });
    connect(txtHost, &QLineEdit::textChanged, this, &frmInetOpti::UpdateHostButtons);
    connect(cmdadd, &QPushButton::clicked, this, &frmInetOpti::cmdadd_Click);
    connect(cmdDel, &QPushButton::clicked, this, &frmInetOpti::cmdDel_Click);
}

void frmInetOpti::Form_Load()
{
    cmdAP->setText(LoadResString(kApplyCaption));
    lblMTU->setText(LoadResString(kMtuCaption));
    lblMSS->setText(LoadResString(kMssCaption));
    lblTTL->setText(LoadResString(kTtlCaption));
    Frame1->setTitle(LoadResString(kFrameCaption));
    cmdDel->setText(LoadResString(kDeleteCaption));
    cmdadd->setText(LoadResString(kAddCaption));
    lblH->setText(LabelText(kHelpCaption));
    lblh2->setText(LabelText(kHostHelpCaption));
    FillAdapters();
    LoadHosts();
}

void frmInetOpti::FillAdapters()
{
    // The first adapter is chosen once the list is complete, not as its first entry comes in.
    const QSignalBlocker quiet(cbAdap);
    cbAdap->clear();
    QStringList instances;
    Reg::ListSubKeys(instances, HKEY_LOCAL_MACHINE, QLatin1String(kAdaptersKey), KEY_ENUMERATE_SUB_KEYS);
    for (const QString &instance : instances) {
        QString description; // empty when the adapter has none
        Reg::GetValue(HKEY_LOCAL_MACHINE, QLatin1String(kAdaptersKey) + QLatin1Char('\\') + instance,
                      QLatin1String(kDescriptionValue), description);
        cbAdap->addItem(instance + QLatin1String(" - ") + description, instance);
    }
    // A key without adapters is as good as none.
    if (cbAdap->count() == 0) {
        EnableTuning(false, false);
        return;
    }
    cbAdap->setCurrentIndex(0);
    cbAdap_Click(0);
}

void frmInetOpti::EnableTuning(bool adapter, bool binding)
{
    cbAdap->setEnabled(adapter);
    cmdAP->setEnabled(adapter);
    txtTTL->setEnabled(adapter);
    txtMTU->setEnabled(binding);
    txtMSS->setEnabled(binding);
}

QString frmInetOpti::NetTransKey() const
{
    return QLatin1String(kNetTransKey) + AdapterKey;
}

void frmInetOpti::cbAdap_Click(int index)
{
    if (index < 0)
        return;
    AdapterKey = cbAdap->itemData(index).toString();
    {
        // An adapter without a TCP/IP binding has no MTU or MSS to tune; Apply must not make
        // one up for it.
        Reg::OpenKey binding;
        bindingExists_ = win::RegOpenKeyExA(HKEY_LOCAL_MACHINE, NetTransKey().toUtf8().constData(), 0, KEY_QUERY_VALUE,
                                            binding.Out()) == ERROR_SUCCESS;
    }
    EnableTuning(true, bindingExists_);

    const auto show = [](QLineEdit *field, const QString &key, const Tuning &tuning) {
        QString text;
        if (!Reg::GetValue(HKEY_LOCAL_MACHINE, key, QLatin1String(tuning.value), text))
            text = QLatin1String(tuning.missingText);
        field->setText(text);
        field->setCursorPosition(0); // a long default text shows its beginning
    };
    // The MSS read second replaces the one the MTU's change derived.
    show(txtMTU, NetTransKey(), kMaxMtu);
    show(txtMSS, NetTransKey(), kMaxMss);
    show(txtTTL, QLatin1String(kMstcpKey), kDefaultTtl);
}

void frmInetOpti::txtMTU_Change()
{
    txtMSS->setText(CanonicalNumber(Val(txtMTU->text()) - kHeaderBytes));
    KeepNumeric(txtMTU);
}

void frmInetOpti::txtTTL_Change()
{
    KeepNumeric(txtTTL);
}

void frmInetOpti::ip_Change(QLineEdit *part)
{
    KeepNumeric(part);
    UpdateHostButtons();
}

void frmInetOpti::cmdAP_Click()
{
    if (!Module::AskSaveChanges(QStringLiteral("None")))
        return;
    SaveReport report(this);
    // A field that holds no number the network stack can read (empty, a default text, a
    // negative MSS, a fraction) leaves the stored value as it is.
    const auto store = [](const QString &key, const Tuning &tuning, const QLineEdit *field) {
        if (IsStorableNumber(field->text()))
            Reg::SetString(HKEY_LOCAL_MACHINE, key, QLatin1String(tuning.value), field->text());
    };
    if (bindingExists_) {
        store(NetTransKey(), kMaxMtu, txtMTU);
        store(NetTransKey(), kMaxMss, txtMSS);
    }
    store(QLatin1String(kMstcpKey), kDefaultTtl, txtTTL);
    Reg::SetString(HKEY_LOCAL_MACHINE, QLatin1String(kMstcpKey), QLatin1String(kReceiveWindowValue),
                   QLatin1String(kReceiveWindow));
}

void frmInetOpti::LoadHosts()
{
    lslHosts->clear();
    const std::string file = HostFile().toStdString();
    std::vector<std::string> lines;
    // A file that exists but cannot be read must not be replaced by what little the list holds.
    hostsReadable_ = win::ReadTextLines(file, lines) || !win::FileExists(file);
    for (const std::string &line : lines)
        lslHosts->addItem(HostEntry(QByteArray::fromStdString(line)));
    UpdateHostButtons();
}

void frmInetOpti::SaveHosts()
{
    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(lslHosts->count()));
    for (int row = 0; row < lslHosts->count(); ++row)
        lines.push_back(lslHosts->item(row)->data(Qt::UserRole).toByteArray().toStdString());
    const QString file = HostFile();
    const bool written = win::WriteTextLines(file.toStdString(), lines);
    // After a failed write the list shows what the file still holds, not the change.
    if (!Writes::NoteLastError(written, file))
        LoadHosts();
}

void frmInetOpti::UpdateHostButtons()
{
    const std::array<const QLineEdit *, 4> parts = {ip1, ip2, ip3, ip4};
    const bool addressValid =
        std::all_of(parts.begin(), parts.end(), [](const QLineEdit *part) { return IsAddressPart(part->text()); });
    cmdadd->setEnabled(hostsReadable_ && addressValid && !txtHost->text().trimmed().isEmpty());
    cmdDel->setEnabled(hostsReadable_);
}

void frmInetOpti::cmdadd_Click()
{
    const QString entry = ip1->text() + QLatin1Char('.') + ip2->text() + QLatin1Char('.') + ip3->text() +
                          QLatin1Char('.') + ip4->text() + QLatin1Char('\t') + txtHost->text();
    lslHosts->addItem(HostEntry(entry.toUtf8()));
    lslHosts->scrollToBottom();
    SaveReport report(this);
    SaveHosts();
}

void frmInetOpti::cmdDel_Click()
{
    // Nothing selected: nothing to remove and nothing to ask.
    QListWidgetItem *selected = lslHosts->currentItem();
    if (!selected || !selected->isSelected())
        return;
    if (!Module::AskSaveChanges(QStringLiteral("None")))
        return;
    delete lslHosts->takeItem(lslHosts->row(selected));
    SaveReport report(this);
    SaveHosts();
}
