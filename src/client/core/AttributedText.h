#pragma once

#include <QList>
#include <QString>

namespace tavoren::client {

// A text with per-character emphasis, for the messages the screens build
// from templates: bold runs, a coloured run, a link run, a centred paragraph.
// It renders to the rich text that labels show, escaping the text itself.
class AttributedText
{
public:
    static constexpr QLatin1String blue{"#0a64d8"};

    explicit AttributedText(QString text = QString());

    const QString &text() const { return m_text; }
    void setCentred(bool centred) { m_centred = centred; }

    // Each marks the first occurrence of `needle` and returns whether there
    // was one; an empty needle marks nothing.
    bool emboldenFirst(const QString &needle, int pointSize);
    bool colourFirst(const QString &needle, const QString &colour);
    bool colourAndLinkFirst(const QString &needle, const QString &colour);

    bool isBoldAt(qsizetype position) const;
    QString colourAt(qsizetype position) const;
    bool isLinkAt(qsizetype position) const;

    QString toHtml() const;

private:
    struct Attributes
    {
        bool bold = false;
        int pointSize = 0;
        QString colour;
        bool link = false;
        bool operator==(const Attributes &) const = default;
    };

    template<typename Change>
    bool applyToFirst(const QString &needle, Change change);

    QString m_text;
    QList<Attributes> m_attributes;
    bool m_centred = false;
};

} // namespace tavoren::client
