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
        <translation>We could not reach the print service. Check your internet connection, or see the service status at {0}, then print your document again.</translation>
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
</context>
</TS>
