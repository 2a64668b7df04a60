<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>IDS</name>
    <message>
        <source>IDS_BACK</source>
        <translation>Return</translation>
    </message>
    <message>
        <source>IDS_CHOOSE</source>
        <translation>Select a file</translation>
    </message>
    <message>
        <source>IDS_CONFIRM_CANCEL?</source>
        <translation>Are you sure you want to cancel?</translation>
    </message>
    <message>
        <source>IDS_CONFIRM_DELETE_PROJECT?</source>
        <translation>Comfirm to delete?</translation>
    </message>
    <message>
        <source>IDS_CONFIRM_DELETE_SELECT_PROJECTS?</source>
        <translation>Are you sure you want to delete the selected projects?</translation>
    </message>
    <message>
        <source>IDS_CONFIRM_DELETE_THIS_RESULT?</source>
        <translation>Are you sure you want to delete the paragraph?</translation>
    </message>
    <message>
        <source>IDS_CONFIRM_STOP_CONVERTING</source>
        <translation>Are you sure you want to stop the converting?</translation>
    </message>
    <message>
        <source>IDS_CONFIRM_STOP_RUNNING_PROJECTS?</source>
        <translation>Are you sure you want to stop the project?</translation>
    </message>
    <message>
        <source>IDS_CTRL_CONTINUE</source>
        <translation>Continue</translation>
    </message>
    <message>
        <source>IDS_CTRL_DOCK_HORIZONTAL</source>
        <translation>Horizontal View</translation>
    </message>
    <message>
        <source>IDS_CTRL_DOCK_VERTICAL</source>
        <translation>Vertical View</translation>
    </message>
    <message>
        <source>IDS_CTRL_EXPAND_CONVERT</source>
        <translation>Continue Convert</translation>
    </message>
    <message>
        <source>IDS_CTRL_EXPAND_RECORD</source>
        <translation>Continue Record</translation>
    </message>
    <message>
        <source>IDS_CTRL_EXPAND_TRANSCRIBE</source>
        <translation>Continue Transcribe</translation>
    </message>
    <message>
        <source>IDS_CTRL_HIGHLIGHT</source>
        <translation>Highlight</translation>
    </message>
    <message>
        <source>IDS_CTRL_PAUSE</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>IDS_CTRL_SETTINGS</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>IDS_CTRL_STOP</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>IDS_FROM_CLIPBOARD</source>
        <translation>Paste from clipboard</translation>
    </message>
    <message>
        <source>IDS_HIGHTLIGHTCOMMENTS:</source>
        <translation>Highlights &amp; Comments</translation>
    </message>
    <message>
        <source>IDS_INVALID_LANG_MODEL_FILE</source>
        <translation>Invalid language library (possibly corrupt or incomplete)</translation>
    </message>
    <message>
        <source>IDS_PLEASE_ENTER_PROJECT_NAME</source>
        <translation>Please enter project name</translation>
    </message>
    <message>
        <source>IDS_PLEASE_SET_LANGUAGE</source>
        <translation>Please select language.</translation>
    </message>
    <message>
        <source>IDS_PRESS_ENTER_SEARCH_LANGUAGES</source>
        <translation>Type a keyword and press Enter to search</translation>
    </message>
    <message>
        <source>IDS_SELECT_CONVERT_FILE</source>
        <translation>Select file to convert</translation>
    </message>
    <message>
        <source>IDS_SELECT_CONVERT_FILES</source>
        <translation>Select file to convert</translation>
    </message>
    <message>
        <source>IDS_SELECT_EXPORT_SAVE_PATH</source>
        <translation>Choose a location</translation>
    </message>
    <message>
        <source>IDS_SELECT_LANG_SAVE_PATH</source>
        <translation>Please select a file path to install.</translation>
    </message>
    <message>
        <source>IDS_SELECT_PHOTO</source>
        <translation>Select an image file</translation>
    </message>
    <message>
        <source>IDS_SELECT_PROJECT_PATH</source>
        <translation>Please select a file path to import.</translation>
    </message>
    <message>
        <source>IDS_SELECT_PROJECT_SAVE_PATH</source>
        <translation>Select a file path to save project</translation>
    </message>
    <message>
        <source>IDS_SOURCE_MICROPHONE</source>
        <translation>Record from Microphone</translation>
    </message>
    <message>
        <source>IDS_SOURCE_SPEAKER</source>
        <translation>Record from Speaker</translation>
    </message>
    <message>
        <source>IDS_TITLE_CONVERTING</source>
        <translation>Batch converting files...</translation>
    </message>
    <message>
        <source>IDS_TITLE_EXPORTING</source>
        <translation>Exporting...</translation>
    </message>
    <message>
        <source>IDS_TITLE_EXPORT_SETTING</source>
        <translation>Export Settings</translation>
    </message>
    <message>
        <source>Export Type:</source>
        <translation>Save As:</translation>
    </message>
    <message>
        <source>Save Path:</source>
        <translation>Save To:</translation>
    </message>
    <message>
        <source>IDS_WILL_CANCEL_CONVERTING_FILES_CONFINUE?</source>
        <translation>A file is converting. Do you want to stop?</translation>
    </message>
    <message>
        <source>IDS_WILL_CANCEL_EXPORTING_FILES_CONFINUE?</source>
        <translation>Are you sure you want to cancel?</translation>
    </message>
    <message>
        <source>IDS_WITH_AUDIO:</source>
        <translation>Audio file</translation>
    </message>
    <message>
        <source>IDS_WITH_SPEAKER:</source>
        <translation>Show speaker</translation>
    </message>
    <message>
        <source>IDS_WITH_TIME:</source>
        <translation>Show timestamps</translation>
    </message>
    <message>
        <source>UNCOMPRESSING...</source>
        <translation>Extracting files...</translation>
    </message>
</context>
</TS>
