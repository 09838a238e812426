<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>ids</name>
    <message>
        <source>IDS_ADB_BACKUP_TIPS</source>
        <translation>Go to your Android Phone screen to backup Kik data on Android, and then click the "OK" button below to continue.&lt;br /&gt;Note: Please make sure you have installed and verified Kik on your Android Phone.</translation>
    </message>
    <message>
        <source>IDS_ADB_RESTORE_TIPS</source>
        <translation>Go to your Android Phone screen to restore Kik data to Android, and then click the "OK" button below to continue.&lt;br /&gt;Note: Please do not unplug your Android Phone until the restore has finished.</translation>
    </message>
    <message>
        <source>IDS_ANDROID_40_ABOVE_USB_MUST</source>
        <translation>Device with Android 4.0 or above can only connect via USB.</translation>
    </message>
    <message>
        <source>IDS_ANDROID_NO_EXTERNAL_STORAGE_CANNOT_READ_MEDIA</source>
        <translation>Can't read external storage in Android because your SD card is mounted.  Click "YES" to continue without loading Kik attachment files or click "No" to reconnect Android in Charging mode and try again.</translation>
    </message>
    <message>
        <source>IDS_ANDROID_RESTORING_KIK_MESSAGES</source>
        <translation>Transferring Messages to Android...</translation>
    </message>
    <message>
        <source>IDS_BACKING_UP_KIK_MESSAGES</source>
        <translation>Backing up Kik messages...</translation>
    </message>
    <message>
        <source>IDS_CACHING_BACKUP_FILE_%1</source>
        <translation>Loading %1...</translation>
    </message>
    <message>
        <source>IDS_CAN_NOT_FOUNDCONTACT_KEYWORD_%0</source>
        <translation>Find no contact with keyword %1.</translation>
    </message>
    <message>
        <source>IDS_CAN_NOT_FOUNDSMS_KEYWORD_%0</source>
        <translation>Find no Message with keyword %1.</translation>
    </message>
    <message>
        <source>IDS_CAN_NOT_FOUND_AND_MESSAGES</source>
        <translation>Can't find any Message.</translation>
    </message>
    <message>
        <source>IDS_CHECKING_APK_INSTALL</source>
        <translation>Checking and installing Velloran Marrowlink now...</translation>
    </message>
    <message>
        <source>IDS_CONFIRM_DEL_SEL_MESSAGES</source>
        <translation>Confirm to delete selected Messages?</translation>
    </message>
    <message>
        <source>IDS_CONFIRM_DEL_THIS_CHAT</source>
        <translation>Confirm to delete Messages with this contact?</translation>
    </message>
    <message>
        <source>IDS_CONFIRM_DEL_THIS_LOCALDB</source>
        <translation>Confirm to delete this database?</translation>
    </message>
    <message>
        <source>IDS_CONNECTING_ANDROID_DEVICE</source>
        <translation>Connecting to Android...</translation>
    </message>
    <message>
        <source>IDS_DEL_LOCALDB_SUC</source>
        <translation>Successfully deleted database.</translation>
    </message>
    <message>
        <source>IDS_DOWNLOADING_FILE_%1</source>
        <translation>Loading %1...</translation>
    </message>
    <message>
        <source>IDS_ENTER_PASSWORD</source>
        <translation>Enter password</translation>
    </message>
    <message>
        <source>IDS_EXPORTING_MESSAGES_TO_FILE</source>
        <translation>Exporting Messages...</translation>
    </message>
    <message>
        <source>IDS_GET_ANDROID_DEVICE_INFO</source>
        <translation>Getting Android info...</translation>
    </message>
    <message>
        <source>IDS_INVALID_LOCALDB_NAME</source>
        <translation>Invalid Local Database name(can't contain \ / : * ? " &lt; &gt; |).</translation>
    </message>
    <message>
        <source>IDS_INVALID_PASSWORD</source>
        <translation>Invalid password.</translation>
    </message>
    <message>
        <source>IDS_LOADING_ADNROID_KIK_FILES</source>
        <translation>Loading Kik Data...</translation>
    </message>
    <message>
        <source>IDS_LOADING_IOS_KIK</source>
        <translation>Loading Kik data from iPhone...</translation>
    </message>
    <message>
        <source>IDS_LOADING_ITUNES_BACKUP</source>
        <translation>Loading data from iTunes Backup...</translation>
    </message>
    <message>
        <source>IDS_LOAD_BK_EXISTS</source>
        <translation>This iTunes Backup has been listed on the left.</translation>
    </message>
    <message>
        <source>IDS_MI_ABOUT</source>
        <translation>About</translation>
    </message>
    <message>
        <source>IDS_MI_BACKUP_ALL</source>
        <translation>Backup Messages</translation>
    </message>
    <message>
        <source>IDS_MI_BACKUP_CHAT</source>
        <translation>Backup Messages</translation>
    </message>
    <message>
        <source>IDS_MI_BACKUP_SEL</source>
        <translation>Backup Messages</translation>
    </message>
    <message>
        <source>IDS_MI_BACKUP_TOOLBAR</source>
        <translation>Backup Messages</translation>
    </message>
    <message>
        <source>IDS_MI_CHECK_UPDATE</source>
        <translation>Check for Update</translation>
    </message>
    <message>
        <source>IDS_MI_DB2A_ALL</source>
        <translation>Transfer Messages from Database to Android</translation>
    </message>
    <message>
        <source>IDS_MI_DB2A_CHAT</source>
        <translation>Transfer Messages from Database to Android</translation>
    </message>
    <message>
        <source>IDS_MI_DB2A_SEL</source>
        <translation>Transfer Messages from Database to Android</translation>
    </message>
    <message>
        <source>IDS_MI_DB2A_TOOLBAR</source>
        <translation>Transfer Messages from Database to Android</translation>
    </message>
    <message>
        <source>IDS_MI_DELETE_ALL</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>IDS_MI_DELETE_CHAT</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>IDS_MI_DELETE_SEL</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>IDS_MI_DELETE_TOOLBAR</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>IDS_MI_EXIT</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>IDS_MI_EXPORT_ALL</source>
        <translation>Export Messages to File</translation>
    </message>
    <message>
        <source>IDS_MI_EXPORT_CHAT</source>
        <translation>Export Messages to File</translation>
    </message>
    <message>
        <source>IDS_MI_EXPORT_SEL</source>
        <translation>Export Messages to File</translation>
    </message>
    <message>
        <source>IDS_MI_EXPORT_TOOLBAR</source>
        <translation>Export Messages to File</translation>
    </message>
    <message>
        <source>IDS_MI_FEEDBACK</source>
        <translation>Feedback and Support</translation>
    </message>
    <message>
        <source>IDS_MI_HELP</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>IDS_MI_I2A_ALL</source>
        <translation>Transfer Messages from iPhone to Android</translation>
    </message>
    <message>
        <source>IDS_MI_I2A_CHAT</source>
        <translation>Transfer Messages from iPhone to Android</translation>
    </message>
    <message>
        <source>IDS_MI_I2A_SEL</source>
        <translation>Transfer Messages from iPhone to Android</translation>
    </message>
    <message>
        <source>IDS_MI_I2A_TOOLBAR</source>
        <translation>Transfer Messages from iPhone to Android</translation>
    </message>
    <message>
        <source>IDS_MI_IMPORT_FROM_ITUNES</source>
        <translation>Import from iTunes Backup</translation>
    </message>
    <message>
        <source>IDS_MI_OPEN_DB_FOLDER</source>
        <translation>Open Database Folder</translation>
    </message>
    <message>
        <source>IDS_MI_PRINT_ALL</source>
        <translation>Print Messages</translation>
    </message>
    <message>
        <source>IDS_MI_PRINT_CHAT</source>
        <translation>Print Messages</translation>
    </message>
    <message>
        <source>IDS_MI_PRINT_SEL</source>
        <translation>Print Messages</translation>
    </message>
    <message>
        <source>IDS_MI_PRINT_TOOLBAR</source>
        <translation>Print Messages</translation>
    </message>
    <message>
        <source>IDS_MI_UNMOUNT_DEVICE</source>
        <translation>Disconnect Device</translation>
    </message>
    <message>
        <source>IDS_NOT_INSTALL_KIK</source>
        <translation>Can't find Kik installed on device.</translation>
    </message>
    <message>
        <source>IDS_NOT_SUPPORT_ANDROID_40_BELOW</source>
        <translation>Root is required for Device with Android 4.0 or earlier.</translation>
    </message>
    <message>
        <source>IDS_NO_BACKUP_LISTED_THERE_CLICK_&lt;a href="#"&gt;Here&lt;/a&gt;_ADD</source>
        <translation>Can't find your iTunes Backup on the list? Please manually import it by clicking &lt;a href="#"&gt;HERE&lt;/a&gt;</translation>
    </message>
    <message>
        <source>IDS_PLEASE_ENTER_PASSWORD_TO_LOAD_BACKUP</source>
        <translation>This iTunes Backup is encrypted. Please enter password:</translation>
    </message>
    <message>
        <source>IDS_PLEASE_SELECT_DATABASE_OR_INPUT_NEW_NAME</source>
        <translation>Select one Database or enter a new Database name</translation>
    </message>
    <message>
        <source>IDS_PLEASE_SELECT_ONE_ITUNES_BACKUP</source>
        <translation>Need to select an iTunes Backup to continue.</translation>
    </message>
    <message>
        <source>IDS_PRINT_MESSAGES</source>
        <translation>Print Messages</translation>
    </message>
    <message>
        <source>IDS_PWD_IS_NULL</source>
        <translation>Password is required.</translation>
    </message>
    <message>
        <source>IDS_ROOT_CANNOT_FETCH_kikDatabase.db</source>
        <translation>Failed to transfer kikDatabase.db file from your root device.</translation>
    </message>
    <message>
        <source>IDS_ROOT_DEVICE</source>
        <translation>Devices</translation>
    </message>
    <message>
        <source>IDS_ROOT_INVALID_AUTHORIZATION</source>
        <translation>Failed to access device. Please reconnect your phone to try again. When a message pop out on your phone screen, please click "Allow" button so Velloran Marrowlink can access your phone.</translation>
    </message>
    <message>
        <source>IDS_ROOT_LOCALDB</source>
        <translation>Local Databases</translation>
    </message>
    <message>
        <source>IDS_ROOT_MUST_HAVE_EXTENAL_STORAGE</source>
        <translation>Find no SD Card on Device.</translation>
    </message>
    <message>
        <source>IDS_ROOT_ROUTINE_FAILED_WILL_TRY_ADBBACKUP</source>
        <translation>Failed to backup data from your root device. Click "OK" button then the software will try again in another mode.</translation>
    </message>
    <message>
        <source>IDS_SAVE_ATTACHMENT</source>
        <translation>Save Attachment</translation>
    </message>
    <message>
        <source>IDS_SAVE_ATTACHMENT_FILE_ERROR</source>
        <translation>Failed to save attachment.</translation>
    </message>
    <message>
        <source>IDS_SAVE_ATTACHMENT_SUC</source>
        <translation>Attachment saved successfully.</translation>
    </message>
    <message>
        <source>IDS_SELECT_AN_ITUNES_BACKUP_TO_LOAD</source>
        <translation>Please select an iTunes Backup to load.</translation>
    </message>
    <message>
        <source>IDS_SEL_EXPORT_MESSAGES_PATH</source>
        <translation>Please select Save Path for messages.</translation>
    </message>
    <message>
        <source>IDS_SEL_ONE_ANDROID_DEVICE</source>
        <translation>Please select an Android device:</translation>
    </message>
    <message>
        <source>IDS_SENDING_FILES_TO_ANDROID</source>
        <translation>Copying file...</translation>
    </message>
    <message>
        <source>IDS_SUC_BACKUP_%1_MESSAGES</source>
        <translation>Successfully backed up %1 messages.</translation>
    </message>
    <message>
        <source>IDS_SUC_CLEAR_CACHE</source>
        <translation>Successfully cleared cache files.</translation>
    </message>
    <message>
        <source>IDS_SUC_EXPORT_%1_MMS</source>
        <translation>Successfully exported %1 Messages.</translation>
    </message>
    <message>
        <source>IDS_SUC_RESTORE_%1_TO_ANDROID</source>
        <translation>Successfully transferred %1 Messages to Android.</translation>
    </message>
    <message>
        <source>IDS_UPLOADING_FILE_%1</source>
        <translation>Copying file %1...</translation>
    </message>
    <message>
        <source>IDS_WIFI_SOCK_WRONG_FOR_EXAMPLE</source>
        <translation>Input Error. Please input the correct WiFi connection info.</translation>
    </message>
</context>
</TS>
