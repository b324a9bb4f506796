<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name></name>
    <message id="limit_reached">
        <source>Too many requests</source>
        <translation>The print service is busy right now. Please wait a few minutes and print your document again.</translation>
    </message>
    <message id="connection_not_established">
        <source>No connection</source>
        <translation>We could not reach the print service. Check your internet connection or look at the {0}, then print your document again.</translation>
    </message>
    <message id="failed_to_prepare">
        <source>Not prepared</source>
        <translation>Your document could not be prepared for sending. Please print it again.</translation>
    </message>
    <message id="size_exceeds">
        <source>Too large</source>
        <translation>Your document is larger than the print service accepts. Print fewer pages at a time, or reduce the size of the images in it.</translation>
    </message>
    <message id="unable_to_accept">
        <source>Not accepted</source>
        <translation>The print service did not accept your document. Please print it again in a few minutes.</translation>
    </message>
    <message id="unable_to_process_document">
        <source>Not processed</source>
        <translation>The print service could not process your document. Please print it again, or save it as a PDF file and print that.</translation>
    </message>
    <message id="status_page">
        <source>service status page</source>
        <translation>service status page</translation>
    </message>
    <message id="file_print">
        <source>File &gt; Print</source>
        <translation>File &gt; Print</translation>
    </message>
    <message id="KYR_Tavoren123">
        <source>Corvane Tavoren printer</source>
        <translation>Corvane Tavoren printer</translation>
    </message>
    <message id="KYR_Tavoren">
        <source>Corvane Tavoren</source>
        <translation>Corvane Tavoren</translation>
    </message>
    <message id="enter_email_address">
        <source>Enter your e-mail address</source>
        <translation>Enter your e-mail address</translation>
    </message>
    <message id="next">
        <source>Next</source>
        <translation>Next</translation>
    </message>
    <message id="Corvane_Eng_Tavoren123">
        <source>Corvane Tavoren English</source>
        <translation>Corvane Tavoren English</translation>
    </message>
    <message id="Corvane_Fr_Tavoren123">
        <source>Corvane Tavoren Français</source>
        <translation>Corvane Tavoren Français</translation>
    </message>
    <message id="window_title">
        <source>Corvane Tavoren</source>
        <translation>Corvane Tavoren</translation>
    </message>
    <message id="logo_name">
        <source>Corvane Tavoren</source>
        <translation>Corvane Tavoren</translation>
    </message>
    <message id="menu_application">
        <source>Corvane Tavoren</source>
        <translation>Corvane Tavoren</translation>
    </message>
    <message id="menu_preferences">
        <source>Preferences…</source>
        <translation>Preferences…</translation>
    </message>
    <message id="menu_close">
        <source>Quit Corvane Tavoren</source>
        <translation>Quit Corvane Tavoren</translation>
    </message>
    <message id="menu_help_title">
        <source>Help</source>
        <translation>Help</translation>
    </message>
    <message id="menu_help">
        <source>Corvane Tavoren Help</source>
        <translation>Corvane Tavoren Help</translation>
    </message>
    <message id="privacy_link">
        <source>Privacy policy</source>
        <translation>Privacy policy</translation>
    </message>
    <message id="terms_link">
        <source>Terms of use</source>
        <translation>Terms of use</translation>
    </message>
    <message id="preferences_button">
        <source>Preferences</source>
        <translation>Preferences</translation>
    </message>
    <message id="apply_button">
        <source>Apply</source>
        <translation>Apply</translation>
    </message>
    <message id="cancel_button">
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message id="close_button">
        <source>Close</source>
        <translation>Close</translation>
    </message>
    <message id="ok_button">
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message id="next_button">
        <source>Next</source>
        <translation>Next</translation>
    </message>
    <message id="skip_button">
        <source>Skip</source>
        <translation>Skip</translation>
    </message>
    <message id="email_title">
        <source>Where should we send your release code?</source>
        <translation>Where should we send your release code?</translation>
    </message>
    <message id="email_entry_default">
        <source>Enter your e-mail address to receive the release code by e-mail as well. You can also skip this step.</source>
        <translation>Enter your e-mail address to receive the release code by e-mail as well. You can also skip this step.</translation>
    </message>
    <message id="email_placeholder">
        <source>name@example.com</source>
        <translation>name@example.com</translation>
    </message>
    <message id="upload_title">
        <source>Sending your document…</source>
        <translation>Sending your document…</translation>
    </message>
    <message id="owner_email_template">
        <source>The release code will also be sent to {0}</source>
        <translation>The release code will also be sent to {0}</translation>
    </message>
    <message id="release_title">
        <source>Your release code</source>
        <translation>Your release code</translation>
    </message>
    <message id="release_code_default">
        <source>Enter this release code at any store printer to print your document.</source>
        <translation>Enter this release code at any store printer to print your document.</translation>
    </message>
    <message id="locate_printer_button">
        <source>Find a printer</source>
        <translation>Find a printer</translation>
    </message>
    <message id="error_title">
        <source>Your document was not sent</source>
        <translation>Your document was not sent</translation>
    </message>
    <message id="docker_title">
        <source>Print with Corvane Tavoren</source>
        <translation>Print with Corvane Tavoren</translation>
    </message>
    <message id="docker_instructions">
        <source>1. In your application, choose {0}.
2. Select the {1}: {4} or {5}.
3. {2} if you like, then click {3}.
4. Type the release code shown at any store printer.</source>
        <translation>1. In your application, choose {0}.
2. Select the {1}: {4} or {5}.
3. {2} if you like, then click {3}.
4. Type the release code shown at any store printer.</translation>
    </message>
    <message id="settings_title">
        <source>Corvane Tavoren Preferences</source>
        <translation>Corvane Tavoren Preferences</translation>
    </message>
    <message id="settings_email_label">
        <source>E-mail address for your release codes</source>
        <translation>E-mail address for your release codes</translation>
    </message>
    <message id="settings_email_hint">
        <source>Leave the field empty to be asked for an address with every document.</source>
        <translation>Leave the field empty to be asked for an address with every document.</translation>
    </message>
    <message id="logo_small_name">
        <source>Tavoren by Corvane</source>
        <translation>Tavoren by Corvane</translation>
    </message>
    <message id="upload_progress_name">
        <source>Sending progress</source>
        <translation>Progress of sending your document</translation>
    </message>
    <message id="release_code_name">
        <source>Release code {0}</source>
        <translation>Release code {0}</translation>
    </message>
    <message id="copy_button">
        <source>Copy</source>
        <translation>Copy</translation>
    </message>
    <message id="copied_button">
        <source>Copied</source>
        <translation>Copied</translation>
    </message>
    <message id="copy_description">
        <source>Copies the release code</source>
        <translation>Copies the release code to the clipboard</translation>
    </message>
    <message id="status_page_description">
        <source>Opens the service status page</source>
        <translation>Press Space or Return to open the service status page</translation>
    </message>
    <message id="clear_email_name">
        <source>Clear the e-mail address</source>
        <translation>Clear the e-mail address</translation>
    </message>
</context>
</TS>
